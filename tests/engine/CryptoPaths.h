// The engine's crypto paths in tests: every one this processor runs, a
// scoped cap on the path in use, and a scoped form of the body cipher.
#pragma once

#include <vector>

#include "engine/Crypto.h"

namespace testing_support {

// Every path this processor can execute, the portable one first.
inline std::vector<corva::CryptoPath> RunnablePaths() {
    std::vector<corva::CryptoPath> paths;
    for (int p = 0; p <= static_cast<int>(corva::BestCryptoPath()); ++p)
        paths.push_back(static_cast<corva::CryptoPath>(p));
    return paths;
}

// Caps the path in use; the choice by processor comes back at the end of
// the scope.
struct PathLimit {
    explicit PathLimit(corva::CryptoPath p) { corva::LimitCryptoPathForTesting(p); }
    ~PathLimit() { corva::LimitCryptoPathForTesting(corva::CryptoPath::ShaAndAesInstructions); }
};

// Sets which runs and groups of the body cipher go over two threads; the
// measured choice comes back at the end of the scope, even when a failed
// assertion leaves it early.
struct CipherForm {
    explicit CipherForm(corva::SplitRuns runs) { corva::SetSplitCipherRunsForTesting(runs); }
    ~CipherForm() { corva::SetSplitCipherRunsForTesting(corva::SplitRuns::Measured); }
};

}  // namespace testing_support
