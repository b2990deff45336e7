// The encoder's signal handling, each case in a process of its own: a signal asks for a
// stop; only a signal after that, while the output has not grown for a while, ends it.
#include "av/exclusiveoutput.h"
#include "encoder/console.h"

#include <QTemporaryDir>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <gtest/gtest.h>
#include <thread>

using console::StopRequest;
using namespace std::chrono_literals;

namespace {

class EncoderSignals : public ::testing::Test
{
protected:
    void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

} // namespace

TEST_F(EncoderSignals, TheFirstSignalOnlyAsksForAStop)
{
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(signal);
        EXPECT_EXIT(
            {
                StopRequest::startWatching();
                const bool before = StopRequest::requested();
                ::raise(signal);
                std::_Exit(!before && StopRequest::requested() ? 0 : 2);
            },
            ::testing::ExitedWithCode(0), "");
    }
}

// Writes that reach the file, the MP4 writer's last rewrite among them, keep the
// encoder alive through any number of signals.
TEST_F(EncoderSignals, LaterSignalsWaitWhileTheOutputGrows)
{
    QTemporaryDir dir;
    EXPECT_EXIT(
        {
            int error = 0;
            auto output =
                trelvo::ExclusiveOutput::create(dir.filePath("out").toStdString(), &error);
            output->setProgressStamp(StopRequest::progressStamp());
            trelvo::AvioPtr writer = output->openContext(AVIO_FLAG_WRITE);
            StopRequest::startWatching();
            ::raise(SIGTERM);
            const auto end = std::chrono::steady_clock::now() + StopRequest::kStuckAfter + 1s;
            for (int i = 0; std::chrono::steady_clock::now() < end; ++i) {
                avio_w8(writer.get(), 0);
                avio_flush(writer.get());
                std::this_thread::sleep_for(100ms);
                ::raise(i % 2 ? SIGINT : SIGTERM);
            }
            std::_Exit(0);
        },
        ::testing::ExitedWithCode(0), "");
}

// However long the output stood still, the first signal is a stop; the next one ends a
// stop that makes no progress, without waiting any further.
TEST_F(EncoderSignals, ALaterSignalEndsAStopThatMakesNoProgress)
{
    EXPECT_EXIT(
        {
            StopRequest::startWatching();
            std::this_thread::sleep_for(StopRequest::kStuckAfter + 300ms);
            ::raise(SIGHUP);
            if (!StopRequest::requested())
                std::_Exit(2);
            ::raise(SIGTERM);
            std::_Exit(0);
        },
        ::testing::ExitedWithCode(1), "no progress");
}
