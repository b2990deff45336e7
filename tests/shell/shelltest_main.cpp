#include "engine/tasklistfile.h"

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

// The host window keeps its Task list between runs; each test starts with none.
class FreshTaskList : public ::testing::EmptyTestEventListener
{
    void OnTestStart(const ::testing::TestInfo&) override { QFile::remove(userTaskListPath()); }
};

} // namespace

// Settings and the kept Task list go to a folder of this run, never to the user's own.
int main(int argc, char** argv)
{
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    qputenv("XDG_DATA_HOME", (config.path() + "/data").toUtf8());
    qputenv("XDG_STATE_HOME", (config.path() + "/state").toUtf8());
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::UnitTest::GetInstance()->listeners().Append(new FreshTaskList);
    return RUN_ALL_TESTS();
}
