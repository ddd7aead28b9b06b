// The activity log's pure parts: file names and lines from given times, the
// alert's end, and the view's tail buffer.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/logformat.h"
#include "core/logtail.h"

namespace {

LogTime At(int year, int month, int day, int hour, int minute, int second) {
    return LogTime{year, month, day, hour, minute, second};
}

TEST(LogFormat, FileNameOfTheDay) {
    char name[qdx::kTextSize];
    FormatLogFileName(At(2013, 3, 5, 10, 0, 0), name);
    EXPECT_STREQ(name, "2013-03-05 QDX Remote Control Log.txt");
    FormatLogFileName(At(2026, 12, 31, 23, 59, 59), name);
    EXPECT_STREQ(name, "2026-12-31 QDX Remote Control Log.txt");
    FormatLogFileName(At(2000, 1, 1, 0, 0, 0), name);
    EXPECT_STREQ(name, "2000-01-01 QDX Remote Control Log.txt");
}

TEST(LogFormat, LineWithTimeAndLineBreak) {
    char line[kLogLineSize];
    FormatLogLine(At(2013, 3, 5, 9, 5, 3), "Connecting to recorder", line);
    EXPECT_STREQ(line, "09:05:03 Connecting to recorder\r\n");
    FormatLogLine(At(2013, 3, 5, 23, 59, 59), "", line);
    EXPECT_STREQ(line, "23:59:59 \r\n");
    FormatLogLine(At(2013, 3, 5, 0, 0, 0), nullptr, line);
    EXPECT_STREQ(line, "00:00:00 \r\n");
}

TEST(LogFormat, OverlongTextIsCutAndTheLineStillEnds) {
    char line[kLogLineSize + 16];
    memset(line, 'G', sizeof line);
    const std::string fits(2036, 'a');
    FormatLogLine(At(2013, 3, 5, 1, 2, 3), fits.c_str(), *reinterpret_cast<char(*)[kLogLineSize]>(line));
    EXPECT_EQ(std::string(line), "01:02:03 " + fits + "\r\n");
    EXPECT_EQ(strlen(line), kLogLineSize - 1);

    const std::string tooLong(5000, 'b');
    FormatLogLine(At(2013, 3, 5, 1, 2, 3), tooLong.c_str(), *reinterpret_cast<char(*)[kLogLineSize]>(line));
    EXPECT_EQ(std::string(line), "01:02:03 " + std::string(2036, 'b') + "\r\n");
    for (size_t i = kLogLineSize; i < sizeof line; ++i) EXPECT_EQ(line[i], 'G');
}

TEST(LogTailBuffer, KeepsTheTailCutByBlocks) {
    LogTail tail;
    std::string stream;
    for (int i = 0; i < 50; ++i) {  // 50 lines of 100 characters: 5000 in all
        std::string line = std::to_string(1000 + i) + std::string(94, 'x') + "\r\n";
        stream += line;
        tail.Append(line.c_str());
        EXPECT_LT(tail.Length(), LogTail::kCapacity);
        EXPECT_EQ(strlen(tail.Text()), tail.Length());
    }
    // 4096 characters fill it; the next drops the first 1024: 5000 - 1024 remain.
    EXPECT_EQ(tail.Length(), 3976u);
    EXPECT_EQ(std::string(tail.Text()), stream.substr(1024));
    EXPECT_EQ(tail.CaretPosition(), tail.Length() - 2);

    LogTail exact;  // a full buffer cut just before its terminator
    const std::string full(LogTail::kCapacity, 'f');
    exact.Append(full.c_str());
    EXPECT_EQ(exact.Length(), LogTail::kCapacity - LogTail::kDrop);
    exact.Clear();
    EXPECT_EQ(exact.Length(), 0u);
    EXPECT_STREQ(exact.Text(), "");
    EXPECT_EQ(exact.CaretPosition(), 0u);
}

TEST(LogFormat, AlertExpiresAfterSixtySecondsAcrossTheWrap) {
    EXPECT_FALSE(LogAlertExpired(1000, 1000));
    EXPECT_FALSE(LogAlertExpired(1000, 61000));
    EXPECT_TRUE(LogAlertExpired(1000, 61001));
    EXPECT_FALSE(LogAlertExpired(0xFFFFF000u, 0x00001000u));  // 8192 ms across 2^32
    EXPECT_TRUE(LogAlertExpired(0xFFFFF000u, 0x0000F000u));   // 65536 ms across 2^32
}

}  // namespace
