# Writes OUTPUT, a C++ source whose tav::StubImage() holds the bytes of
# INPUT: the self-decrypting files' program, compiled into TAV. The bytes
# are one string literal, which compilers read many times faster than a
# list of numbers.
file(READ "${INPUT}" hex HEX)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "\\\\x\\1" escaped "${hex}")
file(WRITE "${OUTPUT}" "// Generated from ${INPUT}; do not edit.
#include \"tav/engine/stub_image.h\"

namespace tav {
namespace {
const char kStub[] = \"${escaped}\";
}  // namespace
std::span<const unsigned char> StubImage() {
    return {reinterpret_cast<const unsigned char*>(kStub), sizeof kStub - 1};  // without the literal's NUL
}
}  // namespace tav
")
