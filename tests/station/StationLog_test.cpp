#include "station/StationLog.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "TestPaths.h"
#include "station/LogRecorder.h"

namespace lumivane {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::SizeIs;

StationRecord SampleRecord(int number) {
  StationRecord record;
  record.time = "2025-03-04T09:15:02.250+01:00";
  record.slot = "pci-0000:00:14.0-usb-0:" + std::to_string(number) + ":1.0";
  record.serial = "SN" + std::to_string(number);
  record.source = "/home/tech/Kt90 \"new\".pos";
  record.sha256 = std::string(64, 'a');
  record.length = 1234;
  record.layer = 2;
  record.base = 0x8001;
  record.state = "success";
  record.statusLine = "DOWNLOAD SUCCESSFUL";
  record.verify = "passed";
  record.keypad = "complete";
  record.durationMs = 4200;
  record.result = "pass";
  return record;
}

class StationLogTest : public ::testing::Test {
 protected:
  StationLogContents Read() {
    StationLogContents contents;
    LogFailure failure;
    EXPECT_TRUE(ReadStationLog(path, &contents, &failure)) << failure.Text();
    return contents;
  }
  std::unique_ptr<StationLog> Open(LogFailure* failure) { return StationLog::Open(path, failure); }

  test::TempDir dir;
  std::string path = dir.path() + "station.log";
};

TEST_F(StationLogTest, RecordsComeBackAsWrittenAcrossOpens) {
  LogFailure failure;
  for (int run = 1; run <= 2; ++run) {
    std::unique_ptr<StationLog> log = Open(&failure);
    ASSERT_NE(log, nullptr) << failure.Text();
    ASSERT_TRUE(log->Append(SampleRecord(run), &failure)) << failure.Text();
  }
  StationRecord unplaced = SampleRecord(3);
  unplaced.base.reset();
  unplaced.detailLine = "/dev/hidraw3: No such device";
  ASSERT_TRUE(Open(&failure)->Append(unplaced, &failure));

  const StationLogContents contents = Read();
  EXPECT_THAT(contents.warnings, IsEmpty());
  EXPECT_THAT(contents.records, ElementsAre(SampleRecord(1), SampleRecord(2), unplaced));
}

TEST_F(StationLogTest, AnUnfinishedLastLineIsSkippedEvenWhenItParses) {
  const std::string whole = RecordLine(SampleRecord(1));
  ASSERT_TRUE(test::WriteFile(path, whole + "\n" + "not json\n" + "\n" + whole));

  const StationLogContents contents = Read();
  EXPECT_THAT(contents.records, ElementsAre(SampleRecord(1)));
  ASSERT_THAT(contents.warnings, SizeIs(2));
  EXPECT_THAT(contents.warnings[0], HasSubstr("station.log:2: not a JSON object; skipped"));
  EXPECT_THAT(contents.warnings[1], HasSubstr("station.log:4: the last line is incomplete"));
}

TEST_F(StationLogTest, TheNextRecordAfterACrashStartsALineOfItsOwn) {
  ASSERT_TRUE(test::WriteFile(path, RecordLine(SampleRecord(1)) + "\n{\"time\":\"2025-03-04T09:1"));
  LogFailure failure;
  std::unique_ptr<StationLog> log = Open(&failure);
  ASSERT_NE(log, nullptr);
  ASSERT_TRUE(log->Append(SampleRecord(2), &failure));

  const StationLogContents contents = Read();
  EXPECT_THAT(contents.records, ElementsAre(SampleRecord(1), SampleRecord(2)));
  EXPECT_THAT(contents.warnings, ElementsAre(HasSubstr(":2: not a JSON object")));
}

TEST_F(StationLogTest, RecordsLackingWhatASummaryNeedsAreSkipped) {
  ASSERT_TRUE(test::WriteFile(path, "[1,2]\n{\"slot\":\"a\",\"sha256\":\"b\",\"result\":\"pass\"}\n"
                                    "{\"slot\":\"a\",\"sha256\":\"b\",\"result\":\"pass\",\"length\":-1}\n"));
  const StationLogContents contents = Read();
  EXPECT_THAT(contents.records, IsEmpty());
  EXPECT_THAT(contents.warnings, ElementsAre(HasSubstr("not a JSON object"), HasSubstr("no \"length\" count"),
                                             HasSubstr("no \"length\" count")));
}

// What is no regular file is refused at once: the station never starts on
// it, and never waits on it.
TEST_F(StationLogTest, RefusesWhatIsNoRegularFileWithoutWaiting) {
  ASSERT_EQ(0, ::mkfifo((dir.path() + "fifo").c_str(), 0600));
  const int reader = ::open((dir.path() + "fifo").c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_EQ(0, ::mkfifo((dir.path() + "lonely-fifo").c_str(), 0600));
  const struct {
    std::string path;
    const char* reason;
  } cases[] = {
      {dir.path() + "fifo", "not a regular file (a FIFO)"},
      {dir.path() + "lonely-fifo", "not a regular file (a FIFO)"},  // no reader: open would block
      {"/dev/null", "not a regular file (a character device)"},
      {dir.path(), "not a regular file (a directory)"},
      {dir.path() + "missing/station.log", "No such file or directory"},
  };
  for (const auto& c : cases) {
    LogFailure failure;
    EXPECT_EQ(StationLog::Open(c.path, &failure), nullptr) << c.path;
    EXPECT_EQ(failure.Text(), c.path + ": " + c.reason);
  }
  ::close(reader);
}

TEST_F(StationLogTest, ARecordOfAnOutcomeCarriesTheImageAndTheOutcome) {
  SlotStatus slot;
  slot.name = "pci-0000:00:14.0-usb-0:2:1.0";
  slot.serialNumber = "SN2";
  SlotOutcome outcome;
  outcome.state = DownloadState::Timeout;
  outcome.statusLine = "Quintrel communication timeout";
  outcome.detail = "the keypad stopped answering after 120 of 1234 bytes";
  outcome.exitStatus = 6;
  outcome.keypad = KeypadHolds::Incomplete;
  outcome.placementBase = 0x0001;
  const StationRecord record =
      RecordOf({"a.pos", std::string(64, 'f'), 1234, 1},
               StationOutcome{slot, outcome, OutcomeResult::Failed, std::chrono::milliseconds(850)}, "T");
  EXPECT_EQ(RecordLine(record),
            "{\"time\":\"T\",\"slot\":\"pci-0000:00:14.0-usb-0:2:1.0\",\"serial\":\"SN2\",\"source\":\"a.pos\","
            "\"sha256\":\"" + std::string(64, 'f') +
                "\",\"length\":1234,\"layer\":1,\"base\":1,\"state\":\"timeout\","
                "\"status_line\":\"Quintrel communication timeout\","
                "\"detail_line\":\"the keypad stopped answering after 120 of 1234 bytes\",\"verify\":\"not_run\","
                "\"keypad\":\"incomplete\",\"duration_ms\":850,\"exit_status\":6,\"result\":\"fail\"}");
}

TEST(IsoLocalTimeTest, HasMillisecondsAndTheZonesOffset) {
  const std::string text = IsoLocalTime(std::chrono::system_clock::time_point(std::chrono::milliseconds(1741075502250)));
  ASSERT_EQ(text.size(), 29u) << text;
  EXPECT_EQ(text.substr(19, 4), ".250");
  EXPECT_TRUE(text[23] == '+' || text[23] == '-') << text;
  EXPECT_EQ(text[26], ':');
}

// Every record the writer reported kept is there after it was killed, and
// nothing half-written is taken for one.
TEST_F(StationLogTest, SurvivesAWriterKilledWhileWriting) {
  int acknowledgements[2];
  ASSERT_EQ(0, ::pipe(acknowledgements));
  const pid_t writer = ::fork();
  ASSERT_GE(writer, 0);
  if (writer == 0) {
    ::close(acknowledgements[0]);
    LogFailure failure;
    std::unique_ptr<StationLog> log = StationLog::Open(path, &failure);
    for (int number = 0; log; ++number) {
      if (!log->Append(SampleRecord(number), &failure)) ::_exit(1);
      if (::write(acknowledgements[1], "k", 1) != 1) ::_exit(1);
    }
    ::_exit(1);
  }
  ::close(acknowledgements[1]);
  constexpr int kAcknowledged = 25;
  for (int received = 0; received < kAcknowledged;) {
    char ack = 0;
    ASSERT_EQ(1, ::read(acknowledgements[0], &ack, 1));
    ++received;
  }
  ::kill(writer, SIGKILL);
  int status = 0;
  ASSERT_EQ(writer, ::waitpid(writer, &status, 0));
  ASSERT_TRUE(WIFSIGNALED(status));
  ::close(acknowledgements[0]);

  const StationLogContents contents = Read();
  ASSERT_GE(contents.records.size(), static_cast<std::size_t>(kAcknowledged));
  for (std::size_t i = 0; i < contents.records.size(); ++i) {
    EXPECT_EQ(contents.records[i], SampleRecord(static_cast<int>(i)));
  }
  EXPECT_LE(contents.warnings.size(), 1u);  // at most the line it was killed in
}

// What counts as passed, failed or not served, from the download's own outcome.
TEST(ClassifyOutcomeTest, PassesOnlyAWholeImageAndServesNoneThatWasNotTouched) {
  const struct {
    const char* name;
    bool succeeded;
    KeypadHolds keypad;
    int exitStatus;
    bool keypadLeft;
    bool stoppedByStation;
    OutcomeResult result;
  } cases[] = {
      {"success", true, KeypadHolds::Complete, 0, false, false, OutcomeResult::Passed},
      {"verify failed after the end command", false, KeypadHolds::Complete, 14, false, false, OutcomeResult::Failed},
      {"cut transfer", false, KeypadHolds::Incomplete, 130, false, true, OutcomeResult::Failed},
      {"wrong device before writing", false, KeypadHolds::Unchanged, 9, false, false, OutcomeResult::Failed},
      {"wrong device, then unplugged", false, KeypadHolds::Unchanged, 9, true, false, OutcomeResult::Failed},
      {"stopped while waiting", false, KeypadHolds::Unchanged, 130, false, true, OutcomeResult::Unserved},
      {"unplugged while waiting", false, KeypadHolds::Unchanged, 12, true, false, OutcomeResult::Unserved},
      {"not detected, still plugged in", false, KeypadHolds::Unchanged, 12, false, false, OutcomeResult::Failed},
  };
  for (const auto& c : cases) {
    SlotOutcome outcome;
    outcome.succeeded = c.succeeded;
    outcome.exitStatus = c.exitStatus;
    outcome.keypad = c.keypad;
    outcome.keypadLeft = c.keypadLeft;
    EXPECT_EQ(ClassifyOutcome(outcome, c.stoppedByStation), c.result) << c.name;
  }
}

}  // namespace
}  // namespace lumivane
