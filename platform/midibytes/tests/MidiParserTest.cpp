#include "CMidiParser.h"

#include <gtest/gtest.h>

namespace {

using Bytes = std::vector<std::uint8_t>;

std::vector<Bytes> Parse(const Bytes& input, CMidiParser& parser) {
    std::vector<Bytes> messages;
    parser.Feed(input.data(), input.size(), [&](const std::uint8_t* bytes, std::size_t length) {
        messages.emplace_back(bytes, bytes + length);
    });
    return messages;
}

std::vector<Bytes> Parse(const Bytes& input) {
    CMidiParser parser;
    return Parse(input, parser);
}

} // namespace

TEST(MidiParser, RunningStatusRepeatsTheLastChannelStatus) {
    EXPECT_EQ(Parse({0x90, 60, 100, 62, 100, 0xC0, 5}),
              (std::vector<Bytes>{{0x90, 60, 100}, {0x90, 62, 100}, {0xC0, 5}}));
}

TEST(MidiParser, RealTimeBytesMayStandInsideAnyMessage) {
    EXPECT_EQ(Parse({0xF0, 0x50, 0xFE, 0x2C, 0xF7, 0x90, 0xF8, 60, 1}),
              (std::vector<Bytes>{{0xFE}, {0xF0, 0x50, 0x2C, 0xF7}, {0xF8}, {0x90, 60, 1}}));
}

TEST(MidiParser, MessagesMayArriveInPieces) {
    CMidiParser parser;
    EXPECT_TRUE(Parse({0xF0, 0x7F, 0x7F}, parser).empty());
    EXPECT_EQ(Parse({0x04, 0x04, 0x00, 0x42, 0xF7, 0xB0}, parser),
              (std::vector<Bytes>{{0xF0, 0x7F, 0x7F, 0x04, 0x04, 0x00, 0x42, 0xF7}}));
    EXPECT_EQ(Parse({0x4A, 0x40}, parser), (std::vector<Bytes>{{0xB0, 0x4A, 0x40}}));
}

TEST(MidiParser, BrokenInputIsDropped) {
    // Stray data, a system-exclusive message cut short by a status byte, a lone F7.
    EXPECT_EQ(Parse({0x10, 0x20, 0xF0, 0x01, 0x02, 0x90, 60, 0, 0xF7}),
              (std::vector<Bytes>{{0x90, 60, 0}}));
    // A system common message ends running status.
    EXPECT_EQ(Parse({0x90, 60, 1, 0xF6, 61, 1}), (std::vector<Bytes>{{0x90, 60, 1}, {0xF6}}));
}

TEST(MidiParser, OversizedSystemExclusiveIsDroppedWhole) {
    CMidiParser parser(8);
    Bytes input{0xF0};
    input.insert(input.end(), 20, 0x11);
    input.push_back(0xF7);
    input.insert(input.end(), {0xF0, 1, 0xF7});
    EXPECT_EQ(Parse(input, parser), (std::vector<Bytes>{{0xF0, 1, 0xF7}}));
}
