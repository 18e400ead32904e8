// Targets of the real program: "." given from the system folder (as from an
// elevated prompt) is the system folder and is refused, as are all of its
// spellings (the unit tests of jobs/ try them). Started inside the Wine
// prefix, never from a Linux folder, and in deciphering mode, so that even a
// refusal that failed could change nothing there.
#include "gui_kit_win32.h"

namespace {

using namespace guikit;

TEST_F(GuiTest, DotFromTheSystemFolderIsRefused) {
  char system[MAX_PATH] = {};
  ASSERT_GT(GetSystemDirectoryA(system, MAX_PATH), 0u);
  TavroRun run(programDir.path());
  ASSERT_TRUE(run.Start("-D -AUTOSTART -P x .", system));
  ASSERT_TRUE(run.WaitForMain());
  ASSERT_TRUE(WaitUntil([&] { return InLayout(run.main(), kMarkFull); })) << "the job ends";
  const std::vector<std::string> log = run.Log();
  EXPECT_TRUE(Contains(log, "Drag : .")) << Joined(log);
  EXPECT_TRUE(Contains(log, "error_directory_system")) << Joined(log);
  EXPECT_TRUE(Contains(log, "message_decryption_finished")) << Joined(log);
  run.PressEscape();
  EXPECT_TRUE(run.Ended(kWait));
}

}  // namespace
