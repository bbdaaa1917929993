# Writes OUTPUT, a C++ source whose tav::StubImage() holds the bytes of
# INPUT: the self-decrypting files' program, compiled into TAV.
file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" digits)
math(EXPR size "${digits} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
file(WRITE "${OUTPUT}" "// Generated from ${INPUT}; do not edit.
#include \"tav/engine/stub_image.h\"

namespace tav {
namespace {
const unsigned char kStub[${size}] = {${bytes}};
}  // namespace
std::span<const unsigned char> StubImage() { return kStub; }
}  // namespace tav
")
