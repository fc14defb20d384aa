#include "framework/sha256.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Lengths on both sides of the padding boundaries (55/56 bytes: one or two
// final blocks; 64 and 119: whole blocks), and a booking file's 4096 bytes.
TEST(Sha256, MatchesTheStandardDigestsAcrossBlockBoundaries) {
    std::string all;
    for (int i = 0; i < 16; ++i)
        for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
    const struct {
        std::string input;
        const char* digest;
    } cases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {std::string(55, 'a'), "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318"},
        {std::string(64, 'a'), "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb"},
        {std::string(119, 'a'), "31eba51c313a5c08226adf18d4a359cfdfd8d2e816b13f4af952f7ea6584dcfb"},
        {all, "c8f5d0341d54d951a71b136e6e2afcb14d11ed8489a7ae126a8fee0df6ecf193"},
    };
    for (const auto& c : cases) EXPECT_EQ(fw::Sha256Hex(c.input), c.digest) << c.input.size();
}

}  // namespace
