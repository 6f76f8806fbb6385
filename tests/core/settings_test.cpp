#include <gtest/gtest.h>
#include <sys/stat.h>

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>

#include "core/app_settings.h"
#include "core/checked_settings.h"
#include "core/settings_store.h"
#include "tests/support/memory_settings_store.h"
#include "tests/support/temp_dir.h"

namespace orvana {
namespace {

using testing::MemorySettingsStore;
using testing::TempDir;

class SettingsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        setenv("TZ", "Asia/Tokyo", 1);
        tzset();
    }
    TempDir dir;
    TimeT now = fromLocal(2026, 3, 5, 14, 5, 9);
};

TEST_F(SettingsTest, FirstStartGivesEveryDefault) {
    MemorySettingsStore store;
    AppSettings s = LoadSettings(store, now, dir.path() + "/Desktop");
    EXPECT_EQ(s.working, 0);
    EXPECT_EQ(s.useVolume, 1);
    EXPECT_EQ(s.useCamera, 1);
    EXPECT_EQ(s.usePowerDown, 1);
    EXPECT_EQ(s.useTemperature, 1);
    EXPECT_EQ(s.useGeiger, 1);
    EXPECT_EQ(s.useOwl, 1);
    EXPECT_EQ(s.useQuellorSmtp, 0);
    EXPECT_EQ(s.smtp, "");
    EXPECT_EQ(s.portNum, 1);
    EXPECT_EQ(s.enableSsl, 0);
    EXPECT_EQ(s.userName, "");
    EXPECT_EQ(s.password, "");
    EXPECT_EQ(s.from, "");
    EXPECT_EQ(s.subject, "orvana");
    EXPECT_EQ(s.sendTestMail1, 1);
    EXPECT_EQ(s.sendTestMail2, 1);
    EXPECT_EQ(s.autoShutdown, 1);
    EXPECT_EQ(s.batteryLimit, 10);
    EXPECT_EQ(s.checkTK, 1);
    EXPECT_EQ(s.hourTK, 0);
    EXPECT_EQ(s.checkRB, 0);
    EXPECT_EQ(s.weekRB, 0);
    EXPECT_EQ(s.hourKA, 0);
    EXPECT_EQ(s.toKA, defaultKeepAliveAddress());
    EXPECT_EQ(s.conv3gp, 0);
    EXPECT_EQ(s.ffmpegPath, "");
    EXPECT_EQ(s.ffmpegOption, "-strict experimental -y -vcodec mpeg4 -acodec aac -f 3gp -ar 16000");
    EXPECT_EQ(s.attachGip, 0);
    EXPECT_EQ(s.dataKeepPeriod, 6);
    EXPECT_TRUE(s.addresses.empty());
    EXPECT_EQ(s.attach, defaultAttachMatrix());

    LocalTime tk = toLocal(s.timeTK), rb = toLocal(s.timeRB);
    EXPECT_EQ(tk.hour, 10);
    EXPECT_EQ(tk.minute, 0);
    EXPECT_EQ(tk.second, 0);
    EXPECT_EQ(tk.day, 5);
    EXPECT_EQ(rb.hour, 8);
    EXPECT_EQ(rb.minute, 30);
    EXPECT_EQ(rb.second, 0);
}

TEST_F(SettingsTest, AttachmentMatrixDefaultsByKey) {
    MemorySettingsStore store;
    AppSettings s = LoadSettings(store, now, dir.path());
    SaveSetting(store, s);
    EXPECT_EQ(store.getInt("Setting", "VOL_ATTACH_VOL", -1), 1);
    EXPECT_EQ(store.getInt("Setting", "VOL_ATTACH_CAM", -1), 1);
    EXPECT_EQ(store.getInt("Setting", "VOL_ATTACH_DESK", -1), 0);
    EXPECT_EQ(store.getInt("Setting", "TEMP_ATTACH_OWL", -1), 1);
    EXPECT_EQ(store.getInt("Setting", "GEIGER_ATTACH_GEIGER", -1), 1);
    EXPECT_EQ(store.getInt("Setting", "OWL_ATTACH_CAM", -1), 0);
    EXPECT_EQ(store.getInt("Setting", "POW_ATTACH_TEMP", -1), 1);
    EXPECT_EQ(store.getInt("Setting", "TK_ATTACH_DESK", -1), 1);
    EXPECT_EQ(store.getInt("Setting", "RQ_ATTACH_VOL", -1), 0);
    int keys = 0;
    for (auto r : kAttachRowNames)
        for (auto c : kAttachColNames)
            keys += store.contains("Setting", std::string(r) + "_ATTACH_" + c);
    EXPECT_EQ(keys, 48);
    // The restart marker belongs to start-up and shutdown, never to a save.
    EXPECT_FALSE(store.contains("Setting", "REBOOT"));
}

TEST_F(SettingsTest, EmptyDataDirBecomesDesktopFolderAndIsCreatedWithParents) {
    MemorySettingsStore store;
    // No desktop folder at all: it must be created too.
    const std::string desktop = dir.path() + "/home/user/Desktop";
    AppSettings s = LoadSettings(store, now, desktop);
    EXPECT_EQ(s.dataDir, desktop + "/orvana記録");
    EXPECT_EQ(store.getString("Setting", "DATA_DIR", ""), desktop + "/orvana記録");
    EXPECT_TRUE(std::filesystem::is_directory(desktop + "/orvana記録"));
}

TEST_F(SettingsTest, StoredDataDirIsKeptAndCreated) {
    MemorySettingsStore store;
    store.writeString("Setting", "DATA_DIR", dir.path() + "/data/here");
    AppSettings s = LoadSettings(store, now, dir.path() + "/Desktop");
    EXPECT_EQ(s.dataDir, dir.path() + "/data/here");
    EXPECT_TRUE(std::filesystem::is_directory(dir.path() + "/data/here"));
    EXPECT_FALSE(std::filesystem::exists(dir.path() + "/Desktop"));
}

TEST_F(SettingsTest, RoundTripKeepsEveryValue) {
    MemorySettingsStore store;
    AppSettings s = LoadSettings(store, now, dir.path());
    s.working = 1;
    s.useVolume = 0;
    s.useQuellorSmtp = 1;
    s.smtp = "mail.example.org:2525";
    s.portNum = 0;
    s.enableSsl = 1;
    s.userName = "ユーザー";
    s.password = "p@ss word";
    s.from = "me@example.org";
    s.subject = "監視";
    s.batteryLimit = 25;
    s.hourTK = 8;
    s.weekRB = 7;
    s.hourKA = 12;
    s.toKA = "dog@example.org";
    s.attach[ROW_RQ][COL_DESK] = 1;
    s.attach[ROW_TK][COL_VOL] = 0;
    s.conv3gp = 1;
    s.ffmpegPath = "/usr/bin/ffmpeg";
    s.attachGip = 1;
    s.dataKeepPeriod = 0;
    s.addresses.push_back({"a@example.org", 1, 0, 1, 1});
    SaveSetting(store, s);

    AppSettings r = LoadSettings(store, now, dir.path());
    EXPECT_EQ(r.working, 1);
    EXPECT_EQ(r.useVolume, 0);
    EXPECT_EQ(r.useQuellorSmtp, 1);
    EXPECT_EQ(r.smtp, "mail.example.org:2525");
    EXPECT_EQ(r.portNum, 0);
    EXPECT_EQ(r.enableSsl, 1);
    EXPECT_EQ(r.userName, "ユーザー");
    EXPECT_EQ(r.password, "p@ss word");
    EXPECT_EQ(r.from, "me@example.org");
    EXPECT_EQ(r.subject, "監視");
    EXPECT_EQ(r.batteryLimit, 25);
    EXPECT_EQ(r.hourTK, 8);
    EXPECT_EQ(r.weekRB, 7);
    EXPECT_EQ(r.hourKA, 12);
    EXPECT_EQ(r.toKA, "dog@example.org");
    EXPECT_EQ(r.attach, s.attach);
    EXPECT_EQ(r.conv3gp, 1);
    EXPECT_EQ(r.ffmpegPath, "/usr/bin/ffmpeg");
    EXPECT_EQ(r.attachGip, 1);
    EXPECT_EQ(r.dataKeepPeriod, 0);
    ASSERT_EQ(r.addresses.size(), 1u);
    EXPECT_EQ(r.addresses[0].m_strAddress, "a@example.org");
    EXPECT_EQ(r.addresses[0].m_bIjyou, 1);
    EXPECT_EQ(r.addresses[0].m_bTeiki, 0);
    EXPECT_EQ(r.addresses[0].m_bKanri, 1);
    EXPECT_EQ(r.addresses[0].m_bTest, 1);
}

TEST_F(SettingsTest, InvalidRecipientIsSkippedAndListRenumberedOnSave) {
    MemorySettingsStore store;
    store.writeInt("Setting", "USER_ADDRESS", 3);
    store.writeString("UserAddress0", "Address", "first@example.org");
    store.writeInt("UserAddress0", "IJYOU", 1);
    store.writeString("UserAddress1", "Address", "");
    store.writeInt("UserAddress1", "TEIKI", 1);
    store.writeString("UserAddress2", "Address", "third@example.org");
    store.writeInt("UserAddress2", "KANRI", 1);
    AppSettings s = LoadSettings(store, now, dir.path());
    ASSERT_EQ(s.addresses.size(), 2u);
    EXPECT_EQ(s.addresses[1].m_strAddress, "third@example.org");
    EXPECT_EQ(s.addresses[1].m_bKanri, 1);

    SaveSetting(store, s);
    EXPECT_EQ(store.getInt("Setting", "USER_ADDRESS", 0), 2);
    EXPECT_EQ(store.getString("UserAddress1", "Address", ""), "third@example.org");
    EXPECT_EQ(store.getInt("UserAddress1", "KANRI", 0), 1);
    EXPECT_EQ(store.getInt("UserAddress1", "TEIKI", 0), 0);
    // The section beyond the new count stays behind, ignored.
    EXPECT_EQ(store.getString("UserAddress2", "Address", ""), "third@example.org");
    EXPECT_EQ(LoadSettings(store, now, dir.path()).addresses.size(), 2u);
}

TEST_F(SettingsTest, ReferenceTimesKeepOnlyTheTimeOfDay) {
    MemorySettingsStore store;
    AppSettings s = LoadSettings(store, now, dir.path());
    s.timeTK = fromLocal(2031, 7, 20, 23, 59, 58);
    s.timeRB = fromLocal(1999, 1, 2, 0, 0, 1);
    SaveSetting(store, s);
    EXPECT_EQ(store.getInt("Setting", "TIME_H_TK", -1), 23);
    EXPECT_EQ(store.getInt("Setting", "TIME_M_TK", -1), 59);
    EXPECT_EQ(store.getInt("Setting", "TIME_S_TK", -1), 58);
    const TimeT later = fromLocal(2026, 12, 24, 9, 0, 0);
    AppSettings r = LoadSettings(store, later, dir.path());
    EXPECT_EQ(r.timeTK, fromLocal(2026, 12, 24, 23, 59, 58));
    EXPECT_EQ(r.timeRB, fromLocal(2026, 12, 24, 0, 0, 1));
}

TEST_F(SettingsTest, MakersAccountIsTheDefaultEvenWithOwnServerFilledIn) {
    MemorySettingsStore store;
    store.writeString("Setting", "SMTP", "smtp.example.org");
    store.writeString("Setting", "USERNAME", "u");
    store.writeString("Setting", "PASSWORD", "p");
    AppSettings s = LoadSettings(store, now, dir.path());
    EXPECT_EQ(s.useQuellorSmtp, 0);
    EXPECT_FALSE(s.unconfigured());
}

TEST_F(SettingsTest, BroadcastRule) {
    AppSettings s;
    EXPECT_FALSE(s.broadcastAllowed());
    s.working = 1;
    EXPECT_FALSE(s.broadcastAllowed());  // nobody to write to
    s.addresses.push_back({"a@example.org", 1, 0, 0, 1});
    EXPECT_TRUE(s.broadcastAllowed());  // the maker's account needs nothing else
    s.useQuellorSmtp = 1;
    s.smtp = "h";
    s.from = "f";
    s.userName = "u";
    EXPECT_FALSE(s.broadcastAllowed());
    s.password = "p";
    EXPECT_TRUE(s.broadcastAllowed());
    s.working = 0;
    EXPECT_FALSE(s.broadcastAllowed());
}

TEST_F(SettingsTest, LastAliveTime) {
    MemorySettingsStore store;
    EXPECT_EQ(LoadLastAlive(store), 0);
    const TimeT t = fromLocal(2026, 2, 28, 23, 59, 30);
    SaveLastAlive(store, t);
    EXPECT_EQ(store.getInt("Time", "CloseYear", 0), 2026);
    EXPECT_EQ(store.getInt("Time", "CloseMonth", 0), 2);
    EXPECT_EQ(store.getInt("Time", "CloseSecond", 0), 30);
    EXPECT_EQ(LoadLastAlive(store), t);
}

TEST(UserAddress, ListText) {
    CUserAddress a{"a@example.org", 1, 1, 0, 1};
    EXPECT_EQ(a.GetString(), "a@example.org;  異常通知,定期通知");
    CUserAddress none{"b@example.org", 0, 0, 0, 1};
    EXPECT_EQ(none.GetString(), "b@example.org;  ");
    CUserAddress all{"c", 1, 1, 1, 0};
    EXPECT_EQ(all.GetString(), "c;  異常通知,定期通知,その他管理情報通知");
    EXPECT_FALSE(CUserAddress{}.IsValid());
}

// The real store: an INI file chosen by ORVANA_CONFIG's path.
TEST_F(SettingsTest, IniStoreIsOwnerOnlyAndKeepsJapaneseText) {
    const std::string path = dir.path() + "/conf/orvana.ini";
    {
        auto store = makeQtSettingsStore(path);
        store->writeString("Setting", "DATA_DIR", "/tmp/データ");
        store->writeInt("Setting", "WORKING", 1);
        ASSERT_TRUE(store->sync());
    }
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    auto again = makeQtSettingsStore(path);
    EXPECT_EQ(again->getString("Setting", "DATA_DIR", ""), "/tmp/データ");
    EXPECT_EQ(again->getInt("Setting", "WORKING", 0), 1);
    EXPECT_EQ(again->getInt("Setting", "MISSING", 7), 7);
    EXPECT_EQ(again->getInt("Setting", "DATA_DIR", 5), 5);  // not a number
    EXPECT_EQ(settingsFilePath(path), path);
}

TEST_F(SettingsTest, IniStoreTightensAnExistingLooseFile) {
    const std::string path = dir.path() + "/loose.ini";
    { std::ofstream(path) << "[Setting]\nPASSWORD=x\n"; }
    ::chmod(path.c_str(), 0644);
    auto store = makeQtSettingsStore(path);
    store->writeString("Setting", "PASSWORD", "y");
    store->sync();
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(SettingsTest, SyncSaysWhetherTheFileWasWrittenNotWhetherEveryLineWasUnderstood) {
    const std::string path = dir.path() + "/conf/orvana.conf";
    std::filesystem::create_directories(dir.path() + "/conf");
    // The reader skips a '#' line and remembers a format error for good.
    { std::ofstream(path) << "# kept by hand\n[Setting]\nFROM=a@example.org\n"; }
    auto store = makeQtSettingsStore(path);
    store->writeString("Setting", "SMTP", "mail.example.org");
    EXPECT_TRUE(store->sync());
    std::string text;
    {
        std::ifstream in(path);
        text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    EXPECT_NE(text.find("SMTP=mail.example.org"), std::string::npos) << text;
    EXPECT_NE(text.find("FROM=a@example.org"), std::string::npos) << text;

    // A file that cannot be written is still reported.
    std::filesystem::remove_all(dir.path() + "/conf");
    { std::ofstream(dir.path() + "/conf") << "a file where the folder was"; }
    store->writeString("Setting", "SMTP", "other.example.org");
    EXPECT_FALSE(store->sync());
}

TEST_F(SettingsTest, HandWrittenCommasKeepTheValue) {
    const std::string path = dir.path() + "/orvana.conf";
    {
        std::ofstream(path)
            << "[Cameras]\nSources=videotestsrc ! video/x-raw,width=320,height=240\n"
               "[Setting]\nSUBJECT=Tokyo, house\nFFMPEG_OPTION=-vf scale=320:240,fps=10\n"
               "FROM=a@example.org,\nSMTP=\"quoted, as Qt writes it\"\n"
               "USERNAME=watch,@pc.example\n";
    }
    auto store = makeQtSettingsStore(path);
    EXPECT_EQ(store->getString("Cameras", "Sources", ""),
              "videotestsrc ! video/x-raw,width=320,height=240");
    EXPECT_EQ(store->getString("Setting", "SUBJECT", ""), "Tokyo,house");
    EXPECT_EQ(store->getString("Setting", "FFMPEG_OPTION", ""), "-vf scale=320:240,fps=10");
    EXPECT_EQ(store->getString("Setting", "FROM", ""), "a@example.org,");
    EXPECT_EQ(store->getString("Setting", "SMTP", ""), "quoted, as Qt writes it");
    // An item starting with '@' makes the reader's list a variant list.
    EXPECT_EQ(store->getString("Setting", "USERNAME", ""), "watch,@pc.example");
    EXPECT_EQ(store->getInt("Setting", "SUBJECT", 7), 7);

    // Saved, they stay what they read as.
    store->writeString("Setting", "SUBJECT", store->getString("Setting", "SUBJECT", ""));
    ASSERT_TRUE(store->sync());
    store.reset();
    EXPECT_EQ(makeQtSettingsStore(path)->getString("Setting", "SUBJECT", ""), "Tokyo,house");
}

// --- Damaged and out-of-range settings --------------------------------

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

int modeOf(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? static_cast<int>(st.st_mode & 0777) : -1;
}

TEST_F(SettingsTest, OneUnmatchedQuoteNeitherSwallowsNorLosesTheRestOfTheFile) {
    const std::string path = dir.path() + "/orvana.conf";
    const std::string original =
        "[Setting]\nFROM=watch@pc.example\nNOTE=say \"hi\nSMTP=mail.example.org\n"
        "PASSWORD=secret\nUSER_ADDRESS=1\n\n[UserAddress0]\nAddress=owner@example.org\n"
        "IJYOU=1\n";
    { std::ofstream(path, std::ios::binary) << original; }
    SettingsFileCheck check;
    {
        auto store = makeQtSettingsStore(path, &check);
        EXPECT_EQ(check.state, SettingsFileCheck::State::Damaged);
        EXPECT_EQ(check.badLines, std::vector<int>{3});
        // Everything but the bad line is there to work with.
        AppSettings s = LoadSettings(*store, now, dir.path());
        EXPECT_EQ(s.smtp, "mail.example.org");
        EXPECT_EQ(s.password, "secret");
        ASSERT_EQ(s.addresses.size(), 1u);
        EXPECT_EQ(s.addresses[0].m_strAddress, "owner@example.org");
        SaveSetting(*store, s);
    }
    // The original is kept whole, owner-only, under a dated name.
    ASSERT_FALSE(check.copy.empty());
    EXPECT_EQ(check.copy.rfind(path + ".damaged-", 0), 0u) << check.copy;
    EXPECT_EQ(check.copy.size(), path.size() + std::string(".damaged-20260305-140509").size());
    EXPECT_EQ(readAll(check.copy), original);
    EXPECT_EQ(modeOf(check.copy), 0600);
    // Saving on the way out wrote the account and the recipient back.
    const std::string saved = readAll(path);
    EXPECT_NE(saved.find("PASSWORD=secret"), std::string::npos) << saved;
    EXPECT_NE(saved.find("Address=owner@example.org"), std::string::npos) << saved;
    const std::string line = SettingsFileCheckLine(check);
    EXPECT_NE(line.find(path), std::string::npos);
    EXPECT_NE(line.find(check.copy), std::string::npos);
}

TEST_F(SettingsTest, DamagedSectionHeaderKeepsItsKeysOutOfTheSectionAbove) {
    EXPECT_EQ(damagedIniLines("[Setting]\nA=1\n; comment\n# other\n\nB=\"x=\\\"y\\\"\"\n"),
              std::vector<int>{});
    EXPECT_EQ(damagedIniLines("[A]\nno equals sign\n=value\n[B\nC=\xff\xfe\n"),
              (std::vector<int>{2, 3, 4, 5}));
    const std::string path = dir.path() + "/orvana.conf";
    {
        std::ofstream(path) << "[UserAddress0]\nAddress=a@example.org\n[UserAddress1\n"
                               "Address=b@example.org\n[Setting]\nFROM=x@example.org\n";
    }
    auto store = makeQtSettingsStore(path);
    EXPECT_EQ(store->getString("UserAddress0", "Address", ""), "a@example.org");
    EXPECT_EQ(store->getString("Setting", "FROM", ""), "x@example.org");
}

// The reader also ends a line at a lone CR; the check sees lines the same.
TEST_F(SettingsTest, LoneCarriageReturnMakesADamagedLine) {
    EXPECT_EQ(damagedIniLines("[S]\r\nA=1\r\r\nB\r=2\n[T]\rC=3\n"), (std::vector<int>{3, 4}));
    const std::string path = dir.path() + "/orvana.conf";
    {
        std::ofstream(path) << "[Setting]\nFROM=a@example.org\nNOTE=x\r[Other]\n"
                               "SMTP=mail.example.org\n";
    }
    SettingsFileCheck check;
    auto store = makeQtSettingsStore(path, &check);
    EXPECT_EQ(check.badLines, std::vector<int>{3});
    // Read as it stood, the CR would have put SMTP into [Other].
    EXPECT_EQ(store->getString("Setting", "SMTP", ""), "mail.example.org");
    EXPECT_EQ(store->getString("Setting", "FROM", ""), "a@example.org");
}

// The reader pairs quotes in keys, headers and '#' lines too; only a ';'
// line is a comment to it.
TEST_F(SettingsTest, UnmatchedQuoteOutsideAValueMakesADamagedLine) {
    EXPECT_EQ(damagedIniLines("[S]\n# say \"hi\nK\"ey=1\n[T\"]\n; say \"hi\n# \"even\"\nA\\\"=1\n"),
              (std::vector<int>{2, 3, 4}));
    const std::string path = dir.path() + "/orvana.conf";
    {
        std::ofstream(path)
            << "[Setting]\nFROM=a@example.org\n# the \"old server\nSMTP=mail.example.org\n"
               "PASSWORD=secret\n";
    }
    SettingsFileCheck check;
    auto store = makeQtSettingsStore(path, &check);
    EXPECT_EQ(check.badLines, std::vector<int>{3});
    // Read as it stood, the quote would have swallowed the lines after it.
    EXPECT_EQ(store->getString("Setting", "SMTP", ""), "mail.example.org");
    EXPECT_EQ(store->getString("Setting", "PASSWORD", ""), "secret");
}

TEST_F(SettingsTest, KeyOfWhiteSpaceOnlyMakesADamagedLine) {
    EXPECT_EQ(damagedIniLines("[S]\n\v=2\n\f \t=3\n\vA=4\n"), (std::vector<int>{2, 3}));
    // Kept, the reader would take it for a key without a name and the next
    // save would write "=2", a line the check refuses at the next start.
    const std::string path = dir.path() + "/orvana.conf";
    { std::ofstream(path) << "[Setting]\n\v=2\nFROM=a@example.org\n"; }
    {
        auto store = makeQtSettingsStore(path);
        store->writeString("Setting", "SMTP", "mail.example.org");
    }
    SettingsFileCheck check;
    auto store = makeQtSettingsStore(path, &check);
    EXPECT_EQ(check.state, SettingsFileCheck::State::Good);
    EXPECT_EQ(store->getString("Setting", "FROM", ""), "a@example.org");
}

TEST_F(SettingsTest, BackslashAtTheEndOfALineMakesItDamaged) {
    EXPECT_EQ(damagedIniLines("[S]\nA=x\\\nB=x\\\r\nC=x\\\\\nD=x\\ \n# x\\\n; x\\\n"),
              (std::vector<int>{2, 3, 6}));
    // The line below the continued one was damaged too: left out, it made
    // the reader join SMTP to FROM.
    const std::string path = dir.path() + "/orvana.conf";
    {
        std::ofstream(path) << "[Setting]\nFROM=a@example.org\\\nno equals sign\n"
                               "SMTP=mail.example.org\n";
    }
    SettingsFileCheck check;
    auto store = makeQtSettingsStore(path, &check);
    EXPECT_EQ(check.badLines, (std::vector<int>{2, 3}));
    EXPECT_EQ(store->getString("Setting", "SMTP", ""), "mail.example.org");
}

TEST_F(SettingsTest, NulBytesMakeADamagedLine) {
    using namespace std::string_literals;
    EXPECT_EQ(damagedIniLines("[S]\nK\0Z=1\n[S\0T]\nA=1\n; \0\n"s), (std::vector<int>{2, 3, 5}));
    // The tail of a file a crash left behind: the value is no longer there
    // to read, and kept it would have been cut at the first NUL.
    const std::string path = dir.path() + "/orvana.conf";
    {
        std::ofstream(path, std::ios::binary)
            << "[Setting]\nFROM=a@example.org\nSMTP=mail.exa\0\0\0\0\0\0\0\0"s;
    }
    SettingsFileCheck check;
    auto store = makeQtSettingsStore(path, &check);
    EXPECT_EQ(check.badLines, std::vector<int>{3});
    EXPECT_FALSE(store->contains("Setting", "SMTP"));
    EXPECT_EQ(store->getString("Setting", "FROM", ""), "a@example.org");
}

// Qt 6.4 finds the section of a key by sorted name and parses it lazily;
// [Setting/CAM] sorts between "Setting/" and "Setting/WORKING".
TEST_F(SettingsTest, SubsectionNeverHidesTheKeysOfItsSection) {
    const std::string path = dir.path() + "/orvana.conf";
    {
        std::ofstream(path) << "[Setting]\nWORKING=1\nUSE_OWL=0\nAUTOSHUTDOWN=0\n"
                               "[Setting/CAM]\nX=1\n";
    }
    auto store = makeQtSettingsStore(path);
    EXPECT_EQ(store->getInt("Setting", "WORKING", -1), 1);
    EXPECT_EQ(store->getInt("Setting", "USE_OWL", -1), 0);
    EXPECT_EQ(store->getInt("Setting", "AUTOSHUTDOWN", -1), 0);
    EXPECT_EQ(store->getInt("Setting/CAM", "X", -1), 1);
    EXPECT_EQ(LoadSettings(*store, now, dir.path()).working, 1);

    // Changed on disk while the program runs: the sync that reads it again
    // leaves every section readable as well.
    {
        std::ofstream(path) << "[Setting]\nWORKING=0\nUSE_OWL=1\nTO_KA=k@example.org\n"
                               "[Setting/CAM]\nX=2\n";
    }
    ASSERT_TRUE(store->sync());
    EXPECT_EQ(store->getInt("Setting", "WORKING", -1), 0);
    EXPECT_EQ(store->getInt("Setting", "USE_OWL", -1), 1);
    EXPECT_EQ(store->getString("Setting", "TO_KA", ""), "k@example.org");
}

// '/' and '\\' separate a key's groups; a key ending in one names nothing.
TEST_F(SettingsTest, KeyEndingInAGroupSeparatorMakesADamagedLine) {
    EXPECT_EQ(damagedIniLines("[S]\nA/=1\nB\\\\=1\nC%2F=1\nD%U002f =1\nE%U+02F=1\nF%2=1\n"
                              "G/H=1\n%2F%41=1\nI\\J=1\na%20b=1\n"),
              (std::vector<int>{2, 3, 4, 5, 6}));
    // Kept, it was saved as a line the next start refused or dropped.
    const std::string path = dir.path() + "/orvana.conf";
    { std::ofstream(path) << "TIK/=p\n[Setting]\nFROM=a@example.org\nNOTE/=q\n"; }
    {
        auto store = makeQtSettingsStore(path);
        store->writeString("Setting", "SMTP", "mail.example.org");
    }
    SettingsFileCheck check;
    auto store = makeQtSettingsStore(path, &check);
    EXPECT_EQ(check.state, SettingsFileCheck::State::Good);
    EXPECT_EQ(store->getString("Setting", "FROM", ""), "a@example.org");
    EXPECT_EQ(store->getString("Setting", "SMTP", ""), "mail.example.org");
}

// A '#' line is no comment to the reader: with an '=' it holds a key.
TEST_F(SettingsTest, KeysAreFoundAsTheReaderFindsThem) {
    EXPECT_EQ(damagedIniLines("[S]\n# note\n# a=1\n# b/=2\nA\\=1\n\"x=y\"=1\nB=\\=\n"),
              (std::vector<int>{4, 5}));
    const std::string path = dir.path() + "/orvana.conf";
    { std::ofstream(path) << "[Setting]\n# old[Setting]TIK/=p\nFROM=a@example.org\n"; }
    {
        auto store = makeQtSettingsStore(path);
        store->writeString("Setting", "SMTP", "mail.example.org");
    }
    SettingsFileCheck check;
    auto store = makeQtSettingsStore(path, &check);
    EXPECT_EQ(check.state, SettingsFileCheck::State::Good);
    EXPECT_EQ(store->getString("Setting", "FROM", ""), "a@example.org");
}

TEST_F(SettingsTest, GoodFileIsBackedUpAndUnreadableOneIsNeverWritten) {
    const std::string path = dir.path() + "/orvana.conf";
    { std::ofstream(path) << "[Setting]\nFROM=x@example.org\n"; }
    SettingsFileCheck check;
    makeQtSettingsStore(path, &check);
    EXPECT_EQ(check.state, SettingsFileCheck::State::Good);
    EXPECT_EQ(readAll(path + ".bak"), "[Setting]\nFROM=x@example.org\n");
    EXPECT_EQ(modeOf(path + ".bak"), 0600);
    EXPECT_TRUE(SettingsFileCheckLine(check).empty());

    // Something that cannot be read as a file is moved aside, not written.
    const std::string odd = dir.path() + "/odd.conf";
    std::filesystem::create_directories(odd + "/inside");
    {
        auto store = makeQtSettingsStore(odd, &check);
        EXPECT_EQ(check.state, SettingsFileCheck::State::Unreadable);
        store->writeString("Setting", "FROM", "y@example.org");
        store->sync();
    }
    ASSERT_FALSE(check.copy.empty());
    EXPECT_TRUE(std::filesystem::is_directory(check.copy + "/inside"));
    EXPECT_NE(SettingsFileCheckLine(check).find(check.copy), std::string::npos);
}

TEST_F(SettingsTest, ValuesOutsideTheirMeaningGiveTheirDefaultsAndAreNamedOnce) {
    MemorySettingsStore store;
    store.writeString("Setting", "DATA_DIR", dir.path() + "/data");
    store.writeString("Setting", "DATA_KEEP_PERIOD", "99999999999");
    store.writeInt("Setting", "TIME_H_TK", -2);
    store.writeInt("Setting", "TIME_M_RB", 60);
    store.writeInt("Setting", "BATTERYLIMIT", 500);
    store.writeInt("Setting", "HOUR_TK", 12);
    store.writeInt("Setting", "HOUR_KA", 12);  // the last row: fine
    store.writeInt("Setting", "WEEK_RB", 18);
    store.writeInt("Setting", "WORKING", 2);
    store.writeString("Setting", "FROM", std::string(10 * 1024 * 1024, 'a'));
    store.writeInt("Setting", "VOL_ATTACH_DESK", 7);
    store.writeInt("Setting", "SEND_TESTMAIL1", 42);  // kept as it is, nothing uses it
    std::vector<std::string> reset;
    const AppSettings s = LoadSettings(store, now, dir.path(), &reset);
    EXPECT_EQ(s.dataKeepPeriod, 6);
    EXPECT_EQ(formatLocal(s.timeTK, "%H:%M:%S"), "10:00:00");
    EXPECT_EQ(formatLocal(s.timeRB, "%H:%M:%S"), "08:30:00");
    EXPECT_EQ(s.batteryLimit, 10);
    EXPECT_EQ(s.hourTK, 0);
    EXPECT_EQ(s.hourKA, 12);
    EXPECT_EQ(s.weekRB, 0);
    EXPECT_EQ(s.working, 0);
    EXPECT_EQ(s.from, "");
    EXPECT_EQ(s.attach[ROW_VOL][COL_DESK], 0);
    EXPECT_EQ(s.sendTestMail1, 42);
    EXPECT_EQ(reset,
              (std::vector<std::string>{"Setting/WORKING", "Setting/FROM", "Setting/BATTERYLIMIT",
                                        "Setting/HOUR_TK", "Setting/TIME_H_TK", "Setting/WEEK_RB",
                                        "Setting/TIME_M_RB", "Setting/VOL_ATTACH_DESK",
                                        "Setting/DATA_KEEP_PERIOD"}));
    EXPECT_EQ(ResetKeysLine({"Setting/A", "Volume/B"}),
              "設定値が不正なため既定値に戻しました: Setting/A, Volume/B");
    // Saved back, the defaults replace what was wrong.
    SaveSetting(store, s);
    EXPECT_EQ(store.getInt("Setting", "DATA_KEEP_PERIOD", -1), 6);
}

TEST_F(SettingsTest, RecipientCountThatIsNoCountNeverDropsRecipients) {
    auto withSections = [](MemorySettingsStore& store, const std::string& count) {
        store.writeString("Setting", "USER_ADDRESS", count);
        store.writeString("UserAddress0", "Address", "a@example.org");
        store.writeString("UserAddress1", "Address", "b@example.org");
    };
    for (const char* count : {"zz", "2000000000", "-1", ""}) {
        MemorySettingsStore store;
        withSections(store, count);
        std::vector<std::string> reset;
        const AppSettings s = LoadSettings(store, now, dir.path(), &reset);
        EXPECT_EQ(s.addresses.size(), 2u) << count;
        EXPECT_EQ(reset, std::vector<std::string>{"Setting/USER_ADDRESS"}) << count;
    }
    // A smaller count is the documented way to leave stale sections behind.
    MemorySettingsStore store;
    withSections(store, "1");
    EXPECT_EQ(LoadSettings(store, now, dir.path()).addresses.size(), 1u);
}

// A locale whose decimal point is a comma, for the time of one test; empty
// when none is installed (locales-all, scripts/install-deps).
class DecimalCommaLocale {
  public:
    DecimalCommaLocale() : old_(std::setlocale(LC_ALL, nullptr)) {
        for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "de_DE"})
            if (std::setlocale(LC_ALL, name) && *std::localeconv()->decimal_point == ',') {
                name_ = name;
                return;
            }
        std::setlocale(LC_ALL, old_.c_str());
    }
    ~DecimalCommaLocale() { std::setlocale(LC_ALL, old_.c_str()); }
    const std::string& name() const { return name_; }

  private:
    std::string old_, name_;
};

TEST(CheckedSettings, IntegersAreWholeDecimalsThatFitWhateverTheirLength) {
    const struct {
        const char* text;
        bool taken;
        int want;
    } cases[] = {
        {"0000000000050", true, 50},
        {"+00000000000003", true, 3},
        {"-0", true, 0},
        {"00000000002147483647", true, 2147483647},
        {"2147483647", true, 2147483647},
        {"-2147483648", true, -2147483648},
        {"2147483648", false, 0},
        {"-2147483649", false, 0},
        {"99999999999999999999", false, 0},
        {"", false, 0},
        {"+", false, 0},
        {"-", false, 0},
        {"1 ", false, 0},
        {" 1", false, 0},
        {"0x10", false, 0},
        {"+-1", false, 0},
    };
    for (const auto& c : cases) {
        int v = 12345;
        EXPECT_EQ(parseInt(c.text, &v), c.taken) << c.text;
        EXPECT_EQ(v, c.taken ? c.want : 12345) << c.text;
    }
}

TEST(CheckedSettings, RealNumbersReadAlikeUnderEveryLocaleAndOnlyWhenWhollyANumber) {
    DecimalCommaLocale comma;
    if (comma.name().empty())
        GTEST_SKIP() << "no locale with a decimal comma is installed";
    MemorySettingsStore store;
    const struct {
        const char* text;
        double want;  // NaN: not taken, the default comes back
    } cases[] = {
        {"0.5", 0.5},       {" 2.5e-3\t", 0.0025}, {"+3", 3.0},        {"-1e+06", -1e6},
        {"1e-320", 1e-320},  // a denormal "%g" can write
        {"0,5", NAN},        // the locale's own spelling is not the store's
        {"nan", NAN},       {"inf", NAN},          {"-infinity", NAN}, {"1e400", NAN},
        {"5x", NAN},        {"0x10", NAN},         {"+-1", NAN},       {"", NAN},
        {" ", NAN},         {"1 2", NAN},
    };
    for (const auto& c : cases) {
        store.writeString("S", "K", c.text);
        CheckedSettings in(store, "S");
        const double got = in.real("K", 7.0, -std::numeric_limits<double>::max(),
                                   std::numeric_limits<double>::max());
        if (std::isnan(c.want)) {
            EXPECT_EQ(got, 7.0) << c.text;
            EXPECT_EQ(in.resetKeys(), std::vector<std::string>{"S/K"}) << c.text;
        } else {
            EXPECT_EQ(got, c.want) << c.text;
            EXPECT_TRUE(in.resetKeys().empty()) << c.text;
        }
    }
    // Within the range only, the bounds included.
    store.writeString("S", "K", "0.1");
    store.writeString("S", "L", "100.01");
    CheckedSettings in(store, "S");
    EXPECT_EQ(in.real("K", 1.0, 0.1, 100), 0.1);
    EXPECT_EQ(in.real("L", 1.0, 0.1, 100), 1.0);
    EXPECT_EQ(in.real("Missing", 1.0, 0.1, 100), 1.0);
    EXPECT_EQ(in.resetKeys(), std::vector<std::string>{"S/L"});
}

}  // namespace
}  // namespace orvana
