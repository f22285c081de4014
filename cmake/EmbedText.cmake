# cmake -DINPUT=<file> -DOUTPUT=<file.cpp> -DSYMBOL=<function name> -P EmbedText.cmake
# Writes a C++ source whose function `std::string_view SYMBOL()` returns the file's bytes.
file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" hexlen)
math(EXPR size "${hexlen} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1'," bytes "${hex}")
string(REGEX REPLACE "(('\\\\x[0-9a-f][0-9a-f]',){32})" "\\1\n" bytes "${bytes}")
file(WRITE "${OUTPUT}.tmp" "// Generated from ${INPUT}; do not edit.\n#include <string_view>\nnamespace vela {\nnamespace {\nconstexpr char kData[] = {\n${bytes}'\\0'};\n}\nstd::string_view ${SYMBOL}() { return std::string_view(kData, ${size}); }\n}  // namespace vela\n")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
