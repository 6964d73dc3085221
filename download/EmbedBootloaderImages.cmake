# Writes a C++ source that holds the bootloader images as byte arrays, so that the program
# carries them without any tool at build time beyond CMake.
#   cmake -DOUTPUT=<file.cpp> -DIMAGE_DIR=<folder> -DIDS=<id,id,...> -DSIZE_LIMIT=<bytes>
#         -P EmbedBootloaderImages.cmake
# Each id names <IMAGE_DIR>/bootloader-<id>.hex; the bytes are taken unchanged. An image whose
# SHA-256 is listed in <IMAGE_DIR>/placeholders.sha256 (written by scripts/make-bootloader-images)
# is a stand-in and is marked so: the program never programs it.

if(NOT OUTPUT OR NOT IMAGE_DIR OR NOT IDS OR NOT SIZE_LIMIT)
  message(FATAL_ERROR "EmbedBootloaderImages.cmake needs OUTPUT, IMAGE_DIR, IDS and SIZE_LIMIT")
endif()
cmake_policy(SET CMP0057 NEW)  # if(... IN_LIST ...)
string(REPLACE "," ";" ids "${IDS}")

# The loader copies an image through a buffer of SIZE_LIMIT bytes; a larger image is refused
# here, where the build can still say which file is wrong.
set(size_limit ${SIZE_LIMIT})

set(placeholder_hashes "")
if(EXISTS "${IMAGE_DIR}/placeholders.sha256")
  file(STRINGS "${IMAGE_DIR}/placeholders.sha256" placeholder_lines)
  foreach(line IN LISTS placeholder_lines)
    string(REGEX MATCH "^[0-9a-f]+" hash "${line}")
    list(APPEND placeholder_hashes "${hash}")
  endforeach()
endif()

set(arrays "")
set(entries "")
foreach(id IN LISTS ids)
  set(path "${IMAGE_DIR}/bootloader-${id}.hex")
  if(NOT EXISTS "${path}")
    message(FATAL_ERROR "bootloader image ${path} is missing")
  endif()
  file(SIZE "${path}" size)
  if(size EQUAL 0 OR size GREATER size_limit)
    message(FATAL_ERROR "bootloader image ${path} has ${size} bytes (1 to ${size_limit} allowed)")
  endif()
  file(SHA256 "${path}" hash)
  if(hash IN_LIST placeholder_hashes)
    set(placeholder true)
  else()
    set(placeholder false)
  endif()
  file(READ "${path}" digits HEX)
  # 32 bytes to a source line, each byte as 0xNN.
  string(REGEX REPLACE "([0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f])"
         "\\1 " digits "${digits}")
  string(REGEX REPLACE "([^ ]+ [^ ]+ [^ ]+ [^ ]+ [^ ]+ [^ ]+ [^ ]+ [^ ]+ )" "\\1\n" digits
         "${digits}")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," digits "${digits}")
  string(REPLACE " " "" digits "${digits}")
  string(APPEND arrays "const uint8_t kImage${id}[] = {\n${digits}\n};\n"
                       "static_assert(sizeof kImage${id} == ${size});\n\n")
  string(APPEND entries "    {${id}, kImage${id}, sizeof kImage${id}, ${placeholder}},\n")
endforeach()

set(source "// Generated from bootloader-<id>.hex by EmbedBootloaderImages.cmake; do not edit.

#include \"download/BootloaderImages.h\"

namespace tamrix {

namespace {

${arrays}const EmbeddedBootloaderImage kImages[] = {
${entries}};

}  // namespace

const EmbeddedBootloaderImage* EmbeddedBootloaderImages(size_t& count) {
    count = sizeof kImages / sizeof kImages[0];
    return kImages;
}

}  // namespace tamrix
")

file(WRITE "${OUTPUT}" "${source}")
