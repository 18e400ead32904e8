// Cases of the program's guards against what the user never chose: refused
// command-line words, over-long drops, the About dialog's links, the language
// chooser's first state, and closing while a job runs.
#include "gui_kit_win32.h"


using namespace guikit;

namespace {

// Reads the log and fails on any line that shows text it must never show.
std::vector<std::string> LogWithout(const TavroRun& run, const std::string& secret) {
  std::vector<std::string> log = run.Log();
  for (const std::string& line : log) EXPECT_EQ(line.find(secret), std::string::npos) << line;
  return log;
}

// Refused words on the command line: nothing starts by itself, the program's
// own folder never stands in for a refused target, and the password word is
// never shown.
TEST_F(GuiTest, RefusedCommandLineWordsStartNothingAndNeverShowThePassword) {
  const std::string beside = programDir.Join("beside.txt");  // what the default target would take
  const std::string target = dataDir.Join("target.txt");
  testkit::WriteAll(beside, std::string("beside the program"));
  testkit::WriteAll(target, std::string("named on the command line"));
  const uint64_t besideSum = FileChecksum(beside), targetSum = FileChecksum(target);
  const std::string longTarget = dataDir.Join(std::string(280, 't'));
  const std::string secret(300, 'S');
  struct Case {
    std::string arguments;
    std::string errorLine;
    bool targetsNamed;
  };
  const Case cases[] = {
      {"-E -AUTOSTART -P x " + longTarget, "error : error_max_path : " + longTarget, true},
      {"-E -AUTOSTART -P " + secret + " " + target, "error : error_max_path : set_main_password", true},
      {"-E -AUTOSTART -P x \"" + target, "error : error_command_word : " + target, true},
      {"-E -AUTOSTART -P", "error : error_command_word : set_main_password", false},
      {"-E -AUTOSTART -P" + secret.substr(0, 12) + " " + target, "error : error_command_word : set_main_password",
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments.substr(0, 60));
    TavroRun run(programDir.path());
    ASSERT_TRUE(run.StartAndWait(c.arguments));
    Sleep(1500);  // an automatic start would have begun by now
    std::vector<std::string> log = LogWithout(run, secret.substr(0, 8));
    EXPECT_TRUE(Contains(log, c.errorLine)) << Joined(log);
    EXPECT_FALSE(Contains(log, "message_encryption_started")) << "no automatic start\n" << Joined(log);
    EXPECT_TRUE(run.Idle());
    EXPECT_TRUE(InLayout(run.main(), kMarkLog)) << "the error line is in sight";
    EXPECT_EQ(run.Title(), c.targetsNamed ? "Tavro 1.00 - [SelectMode]" : "Tavro 1.00 - [" + programDir.path() + "]");
    EXPECT_EQ(run.ItemText(kUpperBox), c.arguments.find(" -P x ") != std::string::npos ? "x" : "");

    if (&c == &cases[0]) {
      // Started by hand, the job finds no target and does nothing.
      Screenshot("refused_word", run.main());
      run.SetBox(kUpperBox, "x");
      run.SetBox(kConfirmBox, "x");
      run.Click(kCipher);
      ASSERT_TRUE(WaitUntil([&] { return InLayout(run.main(), kMarkFull); }));
      ASSERT_TRUE(run.WaitIdle());
      log = run.Log();
      EXPECT_TRUE(Contains(log, "message_no_target")) << Joined(log);
    }
    run.PressEscape();
    ASSERT_TRUE(run.Ended(kWait));
    EXPECT_EQ(FileChecksum(beside), besideSum) << "the program's folder was not a target";
    EXPECT_EQ(FileChecksum(target), targetSum);
    EXPECT_TRUE(NamesEndingIn(programDir.path(), ".cpy").empty());
    EXPECT_TRUE(NamesEndingIn(dataDir.path(), ".cpy").empty());
  }
}

// A dropped path longer than the system's limit is refused whole: cut to the
// limit it would name its existing sibling.
TEST_F(GuiTest, AnOverLongDropIsRefusedNeverCut) {
  const std::string prefix = dataDir.path() + "\\";
  ASSERT_LT(prefix.size(), 200u);
  const std::string sibling = prefix + std::string(259 - prefix.size(), 'n');  // 259 bytes: just fits
  testkit::WriteAll(sibling, std::string("the cut path would name me"));
  const std::string dropped = sibling + "-more.txt";
  const std::string beside = programDir.Join("beside.txt");
  testkit::WriteAll(beside, std::string("beside the program"));
  const uint64_t siblingSum = FileChecksum(sibling), besideSum = FileChecksum(beside);

  TavroRun run(programDir.path());
  ASSERT_TRUE(run.StartAndWait(""));
  ASSERT_TRUE(run.Drop({dropped}));
  ASSERT_TRUE(WaitUntil([&] { return run.LogCount() == 2; })) << run.LogCount();
  std::vector<std::string> log = run.Log();
  EXPECT_EQ(log, (std::vector<std::string>{"Msg: message_drop", "error : error_max_path : " + dropped}))
      << Joined(log);
  run.SetBox(kUpperBox, "drop");
  run.SetBox(kConfirmBox, "drop");
  run.Click(kCipher);
  ASSERT_TRUE(WaitUntil([&] { return InLayout(run.main(), kMarkFull); }));
  ASSERT_TRUE(run.WaitIdle());
  EXPECT_TRUE(Contains(run.Log(), "message_no_target"));
  run.PressEscape();
  ASSERT_TRUE(run.Ended(kWait));
  EXPECT_EQ(FileChecksum(sibling), siblingSum);
  EXPECT_EQ(FileChecksum(beside), besideSum) << "the program's folder was not a target";
  EXPECT_TRUE(NamesEndingIn(dataDir.path(), ".cpy").empty());
  EXPECT_TRUE(NamesEndingIn(programDir.path(), ".cpy").empty());
}

// The program file named alone, on the command line or by a drop, is a
// target named all the same: its folder never stands in for it.
TEST_F(GuiTest, TheProgramFileNamedAloneNeverMakesItsFolderTheTarget) {
  const std::string beside = programDir.Join("beside.txt");
  testkit::WriteAll(beside, std::string("beside the program"));
  const uint64_t besideSum = FileChecksum(beside);
  for (bool dropped : {false, true}) {
    SCOPED_TRACE(dropped ? "dropped" : "command line");
    TavroRun run(programDir.path());
    ASSERT_TRUE(run.StartAndWait(dropped ? "" : "-E -AUTOSTART -P x \"" + run.programPath() + "\""));
    if (dropped) {
      ASSERT_TRUE(run.Drop({run.programPath()}));
      ASSERT_TRUE(WaitUntil([&] { return run.LogCount() == 1; }));
      run.SetBox(kUpperBox, "x");
      run.SetBox(kConfirmBox, "x");
      run.Click(kCipher);
    }
    ASSERT_TRUE(WaitUntil([&] { return InLayout(run.main(), kMarkFull); }));
    ASSERT_TRUE(run.WaitIdle());
    EXPECT_TRUE(Contains(run.Log(), "message_no_target")) << Joined(run.Log());
    run.PressEscape();
    ASSERT_TRUE(run.Ended(kWait));
    EXPECT_EQ(FileChecksum(beside), besideSum) << "the program's folder was not a target";
    EXPECT_TRUE(NamesEndingIn(programDir.path(), ".cpy").empty());
  }
}

// Sets the command that opens links of scheme (HKEY_CLASSES_ROOT) and puts
// the old one back when it goes.
class SchemeHandler {
 public:
  SchemeHandler(const std::string& scheme, const std::string& command) : key_(scheme + "\\shell\\open\\command") {
    char old[1024] = {};
    LONG size = sizeof old;
    had_ = RegQueryValueA(HKEY_CLASSES_ROOT, key_.c_str(), old, &size) == ERROR_SUCCESS;
    old_ = old;
    Set(command);
  }
  ~SchemeHandler() {
    if (had_) Set(old_);
  }

 private:
  void Set(const std::string& command) const {
    RegSetValueA(HKEY_CLASSES_ROOT, key_.c_str(), REG_SZ, command.c_str(), static_cast<DWORD>(command.size()));
  }
  std::string key_, old_;
  bool had_ = false;
};

std::string FileText(const std::string& path) {
  if (!testkit::Exists(path)) return std::string();
  const std::vector<unsigned char> bytes = testkit::ReadAll(path);
  return std::string(bytes.begin(), bytes.end());
}

// The About dialog's translator links and the main window's support-page
// button open web pages and mail addresses only; a link text that names a
// program or a file does nothing.
TEST_F(GuiTest, AboutLinksOpenOnlyWebPagesAndMailAddresses) {
  // A script that notes how it was called in a file of its own (scripts run
  // at the same moment cannot share one).
  auto script = [&](const std::string& name) {
    const std::string path = dataDir.Join(name + ".bat");
    testkit::WriteAll(path, "@echo %1>\"" + dataDir.Join(name + ".txt") + "\"\r\n");
    return path;
  };
  const std::string program = script("program");
  const std::string web = script("web"), mail = script("mail");
  std::string fileUrl = "file:///" + program;
  for (char& c : fileUrl) c = c == '\\' ? '/' : c;
  const std::string webPage = "https://tavro.example.org/translator";
  for (const std::string& url :
       {program, fileUrl, "https://x.example.org/\"&\"" + program, webPage}) {
    SCOPED_TRACE(url);
    // The registry copy of the texts, as the last run saved it, with the link text replaced.
    const std::string zen = std::string(kSettingsKey) + "\\Zen";
    RegDeleteTreeA(HKEY_CURRENT_USER, zen.c_str());
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, zen.c_str(), 0, nullptr, 0,
                              KEY_WRITE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const std::string entries[] = {"tavro_regionalization_by=Tester", "tavro_regionalization_by_url=" + url,
                                   "tavro_regionalization_by_email=tester@example.org", "tavro_site_url=" + url};
    for (int i = 0; i < 4; ++i) {
      RegSetValueExA(key, ("Zen" + std::to_string(i)).c_str(), 0, REG_SZ,
                     reinterpret_cast<const BYTE*>(entries[i].c_str()), static_cast<DWORD>(entries[i].size() + 1));
    }
    RegCloseKey(key);

    TavroRun run(programDir.path());
    ASSERT_TRUE(run.StartAndWait(""));
    // The allowed schemes reach scripts of their own, so an opened link shows.
    SchemeHandler https("https", "\"" + web + "\" \"%1\"");
    SchemeHandler mailto("mailto", "\"" + mail + "\" \"%1\"");
    PostMessageA(run.Item(kSite), BM_CLICK, 0, 0);
    HWND about = run.OpenAbout();
    ASSERT_NE(about, nullptr);
    EXPECT_EQ(WindowText(GetDlgItem(about, 1025)), "Tester");
    PostMessageA(GetDlgItem(about, 1025), BM_CLICK, 0, 0);
    if (url == webPage) {
      // Starting a program under a busy Wine can take a while.
      EXPECT_TRUE(WaitUntil([&] { return FileText(dataDir.Join("web.txt")).find(webPage) != std::string::npos; },
                            60000));
      PostMessageA(GetDlgItem(about, 1026), BM_CLICK, 0, 0);
      EXPECT_TRUE(WaitUntil([&] {
        return FileText(dataDir.Join("mail.txt")).find("mailto:tester@example.org") != std::string::npos;
      }, 60000));
    } else {
      Sleep(2000);
      EXPECT_FALSE(testkit::Exists(dataDir.Join("web.txt"))) << FileText(dataDir.Join("web.txt"));
    }
    PostMessageA(about, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(about); }));
    run.PressEscape();
    ASSERT_TRUE(run.Ended(kWait));
  }
  EXPECT_FALSE(testkit::Exists(dataDir.Join("program.txt"))) << "a program was started";
}

void PressEnterIn(HWND dialog) {
  GUITHREADINFO gui = {};
  gui.cbSize = sizeof gui;
  HWND focus = dialog;
  if (GetGUIThreadInfo(GetWindowThreadProcessId(dialog, nullptr), &gui) && gui.hwndFocus) focus = gui.hwndFocus;
  PostMessageA(focus, WM_KEYDOWN, VK_RETURN, 0x00000001);
  PostMessageA(focus, WM_KEYUP, VK_RETURN, 0xC0000001);
}

// Presses OK on the chooser and answers the file error it reports; returns that report's text.
std::string ConfirmAndReadReport(const TavroRun& run, HWND chooser) {
  PostMessageA(chooser, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  HWND report = nullptr;
  if (!WaitUntil([&] {
        report = FindDialog(run.processId(), [&](HWND w) { return w != chooser && WindowText(w) == "Tavro"; });
        return report != nullptr;
      })) {
    return "<no report>";
  }
  std::string text = WindowText(GetDlgItem(report, 0xFFFF));
  PostMessageA(report, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  WaitUntil([&] { return !IsWindow(report); });
  return text;
}

void Select(HWND list, const char* name) {
  SendMessageA(list, LB_SETCURSEL,
               static_cast<WPARAM>(SendMessageA(list, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                                reinterpret_cast<LPARAM>(name))),
               0);
}

// The chooser selects nothing at first, so a reflexive Enter chooses nothing;
// after a failed rename, entries whose files are gone leave the list.
TEST_F(GuiTest, LanguageChooserStartsWithNoChoiceAndDropsEntriesWhoseFileIsGone) {
  for (const char* name : {"alpha", "beta", "gamma"}) {
    std::string language(name);
    language[0] = static_cast<char>(language[0] - 'a' + 'A');
    testkit::WriteAll(programDir.Join(std::string(name) + ".zen"),
                      "language=" + language + "\r\nbutton_cipher=" + language + "\r\n");
  }
  testkit::WriteAll(programDir.Join("gamma.zen.old"), std::string("in the way"));
  {
    TavroRun run(programDir.path());
    ASSERT_TRUE(run.Start(""));
    HWND chooser = WaitForChooser(run);
    ASSERT_NE(chooser, nullptr);
    EXPECT_EQ(SendMessageA(GetDlgItem(chooser, kLanguageList), LB_GETCURSEL, 0, 0), LB_ERR);
    PressEnterIn(chooser);
    ASSERT_TRUE(run.WaitForMain());
    EXPECT_EQ(run.ItemText(kCipher), "Cipher") << "nothing was loaded";
    for (const char* name : {"alpha.zen", "beta.zen", "gamma.zen"}) {
      EXPECT_TRUE(testkit::Exists(programDir.Join(name))) << name << " was not renamed";
    }
    run.PressEscape();
    ASSERT_TRUE(run.Ended(kWait));
  }
  TavroRun run(programDir.path());
  ASSERT_TRUE(run.Start(""));
  HWND chooser = WaitForChooser(run);
  ASSERT_NE(chooser, nullptr) << "the chooser shows again";
  HWND list = GetDlgItem(chooser, kLanguageList);
  ASSERT_EQ(SendMessageA(list, LB_GETCOUNT, 0, 0), 3);
  Select(list, "Alpha");
  // Beta is renamed, then Gamma's rename fails: Beta's entry has no file any more.
  EXPECT_NE(ConfirmAndReadReport(run, chooser).find(programDir.Join("gamma.zen")), std::string::npos);
  ASSERT_TRUE(IsWindowVisible(chooser)) << "the chooser stays open";
  EXPECT_EQ(SendMessageA(list, LB_GETCOUNT, 0, 0), 2);
  EXPECT_EQ(SendMessageA(list, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>("Beta")), LB_ERR);
  Screenshot("chooser_after_failed_rename", chooser);
  // A chosen file that another program took away is reported and leaves the list.
  ASSERT_TRUE(DeleteFileA(programDir.Join("alpha.zen").c_str()));
  Select(list, "Alpha");
  EXPECT_NE(ConfirmAndReadReport(run, chooser).find(programDir.Join("alpha.zen")), std::string::npos);
  EXPECT_EQ(SendMessageA(list, LB_GETCOUNT, 0, 0), 1);
  PostMessageA(chooser, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
  ASSERT_TRUE(run.WaitForMain());
  EXPECT_EQ(run.ItemText(kCipher), "Cipher");
  EXPECT_TRUE(testkit::Exists(programDir.Join("beta.zen.old")));
  EXPECT_TRUE(testkit::Exists(programDir.Join("gamma.zen")));
  run.PressEscape();
  EXPECT_TRUE(run.Ended(kWait));
}

// Closing during a job keeps the window in sight, its controls off and the
// log saying what it waits for, however long the worker takes; then the
// settings are saved and the program ends.
TEST_F(GuiTest, ClosingDuringAJobShowsTheStoppingStateUntilTheWorkerHasEnded) {
  const std::string big = dataDir.Join("big.bin");
  WriteLargeFile(big, 300);
  const uint64_t sum = FileChecksum(big);
  {
    TavroRun run(programDir.path());
    ASSERT_TRUE(run.StartAndWait("-E -P stuck " + big));
    run.PressEnter();
    ASSERT_TRUE(WaitUntil([&] { return run.Title().find(" byte") != std::string::npos; }));
    HeldThreads held(run.processId(), GetWindowThreadProcessId(run.main(), nullptr));
    ASSERT_GT(held.count(), 0u);
    PostMessageA(run.main(), WM_CLOSE, 0, 0);
    ASSERT_TRUE(WaitUntil([&] { return run.Title().find("message_closing_wait") != std::string::npos; }))
        << run.Title();
    EXPECT_FALSE(run.Ended(1000)) << "the worker has not ended yet";
    EXPECT_TRUE(IsWindowVisible(run.main())) << "the window stays in sight";
    for (int id : {kCipher, kDecipher, kOkay, kSite}) EXPECT_FALSE(IsWindowEnabled(run.Item(id))) << id;
    std::string top;
    ASSERT_TRUE(run.ReadLogLine(0, &top));
    EXPECT_EQ(top, "message : message_closing_wait : " + big);
    run.PressEscape();  // closing again changes nothing
    Screenshot("closing_stopping", run.main());
    EXPECT_FALSE(run.Ended(500));
    DWORD value = 0;
    EXPECT_FALSE(ReadDword("Confirm", &value)) << "nothing is saved before the worker has ended";
    held.Release();
    EXPECT_TRUE(run.Ended(60000)) << "the program ends once the worker has ended";
    DWORD code = 1;
    GetExitCodeProcess(run.process(), &code);
    EXPECT_EQ(code, 0u);
  }
  DWORD confirm = 0;
  EXPECT_TRUE(ReadDword("Confirm", &confirm)) << "the settings were saved";
  if (!testkit::Exists(big)) DecipherFolder(programDir.path(), dataDir.path(), "stuck");
  EXPECT_EQ(FileChecksum(big), sum);
  EXPECT_EQ(testkit::ListNames(dataDir.path()), std::vector<std::string>{"big.bin"});
}

}  // namespace
