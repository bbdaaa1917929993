#include "tav/operation.h"

#include "tav/base/failure.h"
#include "tav/format/format.h"

namespace tav {

Operation ParseOperation(const std::string& word) {
    Operation op;
    if (word == "D" || word == "d" || word == "salvage") {
        op.kind = word == "D"   ? Operation::Kind::VerifyThenDecrypt
                  : word == "d" ? Operation::Kind::Decrypt
                                : Operation::Kind::Salvage;
        return op;
    }
    const auto malformed = [&word] {
        return Failure(Exit::Usage, "unknown operation '" + word + "' (expected e<rounds>[+], a<rounds>[+], D, d or salvage)");
    };
    if (word.empty() || (word[0] != 'e' && word[0] != 'a')) throw malformed();
    op.kind = word[0] == 'a' ? Operation::Kind::SelfDecrypting : Operation::Kind::Encrypt;

    std::string digits = word.substr(1);
    if (!digits.empty() && digits.back() == '+') {
        op.paranoia = true;
        digits.pop_back();
    }
    const bool negative = !digits.empty() && digits[0] == '-';
    if (negative) digits.erase(0, 1);
    if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos) throw malformed();
    if (negative) throw Failure(Exit::Usage, "the number of rounds must not be negative: " + word);
    const std::size_t significant = digits.find_first_not_of('0');
    if (significant != std::string::npos && (digits.size() - significant > 3 || std::stoul(digits) > kMaxRounds)) {
        throw Failure(Exit::Usage, "at most " + std::to_string(kMaxRounds) + " rounds are supported: " + word);
    }
    op.rounds = significant == std::string::npos ? 0 : static_cast<std::uint32_t>(std::stoul(digits));
    return op;
}

}  // namespace tav
