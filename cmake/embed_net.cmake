# Writes the bytes of INPUT as a C++ array into OUTPUT (cmake -P), so a data
# file is built into the programs and nothing has to travel beside them.
file(READ ${INPUT} hex HEX)
string(LENGTH "${hex}" hex_length)
math(EXPR byte_count "${hex_length} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "((0x..,){24})" "\\1\n" bytes "${bytes}")
file(WRITE ${OUTPUT} "// Generated from ${INPUT} by cmake/embed_net.cmake: do not edit.\n#include <cstddef>\n\nnamespace tovrane {\n\nextern const unsigned char kDefaultNetBytes[] = {\n${bytes}\n};\nextern const size_t kDefaultNetByteCount = ${byte_count};\n\n}  // namespace tovrane\n")
