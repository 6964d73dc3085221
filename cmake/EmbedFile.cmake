# Writes a C++ source that holds one file's bytes as an array, so the program carries the file
# without any tool at build time beyond CMake.
#   cmake -DINPUT=<file> -DOUTPUT=<file.cpp> -DSYMBOL=<name> -DHEADER=<include> -P EmbedFile.cmake
# The source defines  const unsigned char <SYMBOL>[]  and  const size_t <SYMBOL>Size  in namespace
# tamrix, as declared in <HEADER>.

if(NOT INPUT OR NOT OUTPUT OR NOT SYMBOL OR NOT HEADER)
  message(FATAL_ERROR "EmbedFile.cmake needs INPUT, OUTPUT, SYMBOL and HEADER")
endif()
file(SIZE "${INPUT}" size)
file(READ "${INPUT}" digits HEX)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," digits "${digits}")
string(REGEX REPLACE "((0x..,){24})" "\\1\n" digits "${digits}")
file(WRITE "${OUTPUT}.tmp" "// Generated from ${INPUT} by EmbedFile.cmake; do not edit.
#include \"${HEADER}\"

namespace tamrix {

const unsigned char ${SYMBOL}[] = {
${digits}
};
const size_t ${SYMBOL}Size = ${size};

}  // namespace tamrix
")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
