// How a file's bytes compare with what Pellmar writes back after loading it. Pellmar rewrites
// a few things on purpose: export-info texts lose a terminating zero, empty texts are padded
// to one zero byte, and the footer always names block 0 as the one root. Applying exactly
// those rewrites to the input tells an explained difference from a real one.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct RoundTripReport {
    bool identical = false;  // the written bytes equal the input
    bool identicalAfterRewrites = false;
    std::vector<std::string> rewrites;  // the named rewrites that changed something
    size_t firstDifference = 0;         // input offset of the first unexplained difference
};

// input: the bytes that loaded; output: what Save writes for them.
RoundTripReport CompareRoundTrip(const std::vector<uint8_t>& input, const std::string& output);
