#pragma once

#include <cstdint>
#include <string>

namespace tav {

// What the operation word asks for: "e<rounds>[+]" encrypt, "a<rounds>[+]"
// write a self-decrypting program, "D" decrypt after verifying everything,
// "d" decrypt in one streaming pass, "salvage" keep what verifies of a
// damaged file (never one of Druvel's words).
struct Operation {
    enum class Kind { Encrypt, SelfDecrypting, VerifyThenDecrypt, Decrypt, Salvage };
    Kind kind = Kind::Encrypt;
    std::uint32_t rounds = 0;
    bool paranoia = false;

    bool encrypts() const { return kind == Kind::Encrypt || kind == Kind::SelfDecrypting; }
};

// Throws Failure(Exit::Usage) with a clear message for a malformed word or
// a rounds number outside 0 to 64.
Operation ParseOperation(const std::string& word);

}  // namespace tav
