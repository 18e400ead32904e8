// The Windows program's side of the wipe journal: a wipe that a killed run
// left is finished at the start of the next job, and said in the run log.
#include "codec/wipe_journal.h"
#include "gui_kit_win32.h"
#include "platform/system.h"

using namespace guikit;

namespace {

TEST_F(GuiTest, JobStartFinishesAWipeAKilledRunLeft) {
  // A plain file left under a digit name during its passes, with its entry.
  const std::string remnant = dataDir.Join("12345678");
  testkit::WriteAll(remnant, testkit::PatternBytes(5000, 21));
  testkit::WriteAll(dataDir.Join("plain.txt"), std::string("enciphered by the job"));
  {
    CWipeJournal journal;
    ASSERT_TRUE(journal.Open(platform::ProgramDataFolder()));
    WipeEntry entry;
    entry.folder = dataDir.path();
    entry.name = "12345678";
    entry.size = 5000;
    ASSERT_TRUE(platform::IdentityOf(remnant, &entry.identity));
    ASSERT_TRUE(journal.Record(entry));
  }
  TavroRun run(programDir.path());
  ASSERT_TRUE(run.StartAndWait("-E -AUTOSTART -P secret " + dataDir.path()));
  ASSERT_TRUE(WaitUntil([&] { return NamesEndingIn(dataDir.path(), ".cpy").size() == 1 && run.Idle(); }));
  EXPECT_FALSE(testkit::Exists(remnant));
  EXPECT_EQ(testkit::ListNames(dataDir.path()).size(), 1u) << "the remnant was taken for a new plain file";
  const std::vector<std::string> log = run.Log();
  EXPECT_TRUE(Contains(log, "message : message_wipe_finished : " + remnant)) << Joined(log);
  run.PressEscape();
  EXPECT_TRUE(run.Ended(kWait));
}

}  // namespace
