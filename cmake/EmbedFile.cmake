# Writes a C++ source defining `std::string_view <NAME>()` that returns the
# bytes of INPUT. Run with: cmake -DINPUT=... -DOUTPUT=... -DNAME=... -DNAMESPACE=... -P
file(READ "${INPUT}" content HEX)
string(LENGTH "${content}" hexLength)
math(EXPR byteCount "${hexLength} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${content}")
file(WRITE "${OUTPUT}.tmp"
"// Generated from ${INPUT}; do not edit.\n"
"#include <string_view>\n\n"
"namespace ${NAMESPACE} {\n"
"namespace {\n"
"const unsigned char kData[] = {${bytes} 0x00};\n"
"}\n"
"std::string_view ${NAME}() { return {reinterpret_cast<const char*>(kData), ${byteCount}}; }\n"
"} // namespace ${NAMESPACE}\n")
file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
