#include <QCoreApplication>
#include <QTemporaryDir>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    // Intermediate files go to a folder of the tests, never the user's cache.
    QTemporaryDir cache;
    qputenv("XDG_CACHE_HOME", cache.path().toUtf8());
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
