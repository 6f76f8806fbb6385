#include <gtest/gtest.h>
#include <unistd.h>

#include <QImage>
#include <QLabel>
#include <QVBoxLayout>
#include <QWidget>
#include <filesystem>

#include "tests/support/memory_settings_store.h"
#include "tests/support/temp_dir.h"
#include "widgets/snapshot.h"

namespace orvana {
namespace {

class SnapshotTest : public ::testing::Test {
  protected:
    void SetUp() override {
        setenv("TZ", "Asia/Tokyo", 1);
        tzset();
        t = fromLocal(2016, 3, 5, 14, 5, 9);
        store.writeString("Setting", "DATA_DIR", dir.path());
        w.resize(200, 120);
        auto* layout = new QVBoxLayout(&w);
        layout->addWidget(new QLabel(QStringLiteral("音量モニタ"), &w));
        w.show();
    }
    testing::TempDir dir;
    testing::MemorySettingsStore store;
    QWidget w;
    TimeT t = 0;
};

TEST_F(SnapshotTest, ClientPictureIsAJpegOfTheWindowSize) {
    const std::string path = SaveClientBitmap(w, store, t, "#Vol.jpg", false);
    EXPECT_EQ(path, dir.path() + "/2016年03月05日14時05分09秒#Vol.jpg");
    QImage img(QString::fromStdString(path), "JPG");
    ASSERT_FALSE(img.isNull());
    EXPECT_EQ(img.size(), QSize(200, 120));
    // The sound window does not put itself on top.
    EXPECT_FALSE(w.windowFlags() & Qt::WindowStaysOnTopHint);
}

TEST_F(SnapshotTest, SensorWindowsStayOnTopAfterTheirPicture) {
    SaveClientBitmap(w, store, t, "#temp.jpg", true);
    EXPECT_TRUE(w.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(w.isVisible());
}

TEST_F(SnapshotTest, DesktopPictureWithoutADesktopIsTheMainWindow) {
    const std::string path = SaveDesktopBitmap(w, store, t);
    EXPECT_EQ(path, dir.path() + "/2016年03月05日14時05分09秒#win.jpg");
    QImage img(QString::fromStdString(path), "JPG");
    ASSERT_FALSE(img.isNull());
    EXPECT_TRUE(w.windowFlags() & Qt::WindowStaysOnTopHint);
}

TEST_F(SnapshotTest, EmptyDataDirWritesIntoTheCurrentFolder) {
    store.writeString("Setting", "DATA_DIR", "");
    const auto old = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    const std::string path = SaveClientBitmap(w, store, t, "#geiger.jpg", false);
    std::filesystem::current_path(old);
    EXPECT_EQ(path, "2016年03月05日14時05分09秒#geiger.jpg");
    EXPECT_TRUE(std::filesystem::exists(dir.path() + "/" + path));
}

TEST_F(SnapshotTest, UnwritableFolderStillReturnsThePath) {
    store.writeString("Setting", "DATA_DIR", dir.path() + "/missing");
    const std::string path = SaveClientBitmap(w, store, t, "#Power.jpg", false);
    EXPECT_EQ(path, dir.path() + "/missing/2016年03月05日14時05分09秒#Power.jpg");
    EXPECT_FALSE(std::filesystem::exists(path));
}

}  // namespace
}  // namespace orvana
