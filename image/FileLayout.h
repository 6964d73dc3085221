#pragma once
// Which bootloader a firmware text is made for, judged from its bytes. A 16-bit PIC file gives
// four bytes per instruction, of which the fourth (the phantom byte) is always 0; an S3F8 (SAM)
// file is plain bytes, all of them below the end of the fuse bytes (0x20004).

namespace tamrix {

struct FileLayoutFacts {
    int phantomBytes = 0;    // bytes at addresses 3, 7, 11, ... (a PIC file's phantom bytes)
    int phantomNonZero = 0;  // ... of which are not 0
    bool beyondSam = false;  // data at or above 0x20004, where a SAM image ends
};

FileLayoutFacts ExamineFileLayout(const char* text, int length);

// The usual guess, for telling a user what a file looks like: SAM when nothing lies beyond a SAM
// image and some phantom byte is set, else PIC.
bool GuessedSam(const FileLayoutFacts& facts);

// Clear enough to refuse the file for the other family before anything is written: many phantom
// bytes, or any beyond a SAM image, and all of them 0 (a PIC file); or nothing beyond a SAM image
// and more than a quarter of the phantom bytes set (a SAM file). A small file says too little to
// judge either way.
bool ClearlyPicFile(const FileLayoutFacts& facts);
bool ClearlySamFile(const FileLayoutFacts& facts);

}  // namespace tamrix
