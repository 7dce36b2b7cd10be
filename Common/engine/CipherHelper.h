// The body cipher of a long run on two threads. Its per-block keys form one
// serial SHA-256 chain, which bounds its speed; the AES half (each block's
// key schedule and the block itself) does not need to wait for it. So the
// calling thread hashes the chain and hands the keys over in batches through
// a short ring, and a helper thread expands them and enciphers or deciphers
// the blocks (CBC, in order). Handing over costs a lock per batch, never per
// block. Memory stays bounded (the ring), and every key is wiped as soon as
// its block is done.
//
// The helper thread lives as long as the CipherHelper (one file's cipher)
// and ends in its destructor. Nothing is thrown: when no thread can be
// started, Start fails and the caller ciphers on its own thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "engine/Crypto.h"

namespace corva {

class CipherHelper {
public:
    explicit CipherHelper(bool encrypt);
    ~CipherHelper();
    CipherHelper(const CipherHelper&) = delete;
    CipherHelper& operator=(const CipherHelper&) = delete;

    // Starts the helper thread; false when it cannot be started.
    bool Start();
    // count blocks in place, exactly as BodyCipher::Process on path would:
    // key, iv and counter are those of the BodyCipher and are updated.
    void Run(CryptoPath path, uint8_t key[kDigestSize], uint8_t iv[kAesBlock], uint32_t* counter, uint8_t* blocks,
             size_t count);

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace corva
