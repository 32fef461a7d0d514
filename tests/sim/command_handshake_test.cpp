#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "tools/sim/command_handshake.hpp"

namespace {

// The four commands exactly as the tool writes them.
const std::string kCommands[] = {"$PASHS,RCI,1\r\n", "$PASHS,ELM,15\r\n", "$PASHS,OUT,A\r\n",
                                 "$PASHS,OUT,A,SNV,PBN,MBN,BIN\r\n"};

struct Feed {
    CommandHandshake handshake;
    std::vector<CommandHandshake::Event> events;

    explicit Feed(int silentAfter = -1) : handshake(silentAfter) {}
    void Send(std::string_view text) {
        handshake.Receive({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()},
                          [&](const CommandHandshake::Event& e) { events.push_back(e); });
    }
};

TEST(CommandHandshake, AnswersTheFirstThreeAndCompletesOnTheFourth) {
    Feed f;
    for (int k = 0; k < 3; ++k) {
        f.Send(kCommands[k]);
        EXPECT_FALSE(f.handshake.Complete());
    }
    f.Send(kCommands[3]);
    EXPECT_TRUE(f.handshake.Complete());
    ASSERT_EQ(f.events.size(), 4u);
    EXPECT_EQ(f.events[0].reply, "ACK,RCI\r\n");
    EXPECT_EQ(f.events[1].reply, "ACK,ELM\r\n");
    EXPECT_EQ(f.events[2].reply, "ACK,OUT\r\n");
    EXPECT_EQ(f.events[3].reply, "");
    for (const auto& e : f.events) {
        EXPECT_TRUE(e.expected);
        // A reply left in the tool's queue must never look like a record.
        EXPECT_EQ(e.reply.find("$PASHR"), std::string::npos);
    }
}

TEST(CommandHandshake, CommandsSplitAcrossReadsAndRunTogether) {
    Feed f;
    const std::string all = kCommands[0] + kCommands[1] + kCommands[2] + kCommands[3];
    for (char c : all) {
        f.Send(std::string_view(&c, 1));
    }
    EXPECT_TRUE(f.handshake.Complete());
    Feed together;
    together.Send(all);
    EXPECT_TRUE(together.handshake.Complete());
    EXPECT_EQ(together.events.size(), 4u);
}

TEST(CommandHandshake, NoOutputBeforeTheFourCommandsInOrder) {
    Feed f;
    f.Send(kCommands[3]);
    f.Send(kCommands[1]);
    EXPECT_FALSE(f.handshake.Complete());
    EXPECT_FALSE(f.events[0].expected);
    // Skipping a command does not count.
    f.Send(kCommands[0]);
    f.Send(kCommands[2]);
    f.Send(kCommands[3]);
    EXPECT_FALSE(f.handshake.Complete());
    // A restart with the first command begins the sequence again.
    f.Send(kCommands[0] + kCommands[1] + kCommands[2] + kCommands[3]);
    EXPECT_TRUE(f.handshake.Complete());
    // And a tool that starts over while records flow stops them until it is done.
    f.Send(kCommands[0]);
    EXPECT_FALSE(f.handshake.Complete());
}

TEST(CommandHandshake, SilentAfterStopsAnswering) {
    Feed f(2);
    f.Send(kCommands[0] + kCommands[1] + kCommands[2]);
    ASSERT_EQ(f.events.size(), 3u);
    EXPECT_FALSE(f.events[0].reply.empty());
    EXPECT_FALSE(f.events[1].reply.empty());
    EXPECT_TRUE(f.events[2].reply.empty());
    Feed mute(0);
    mute.Send(kCommands[0]);
    EXPECT_TRUE(mute.events[0].reply.empty());
}

TEST(CommandHandshake, NoiseAndOverlongLinesAreIgnored) {
    Feed f;
    f.Send("\x01\xff garbage\r\n");
    f.Send(std::string(5000, 'x') + "\r\n");
    f.Send("\x7f" + kCommands[0]);  // noise in front of a command
    ASSERT_EQ(f.events.size(), 1u);
    EXPECT_EQ(f.events[0].command, "$PASHS,RCI,1");
    EXPECT_TRUE(f.events[0].expected);
}

}  // namespace
