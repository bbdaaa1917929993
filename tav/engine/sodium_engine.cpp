// The payload's engine where TAV is built without OpenSSL's libcrypto, and
// always in the self-decrypting files' program: libsodium's.
#include "tav/engine/chunk_cipher.h"

namespace tav {

std::unique_ptr<ChunkCipher> MakeChunkCipher(const unsigned char* key) { return MakeSodiumChunkCipher(key); }

}  // namespace tav
