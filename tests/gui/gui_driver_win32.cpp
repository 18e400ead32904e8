// Drives the real Tavro.exe from outside, as a user would: starts a fresh copy
// of the program in a temp folder, types into the password boxes, presses
// buttons and Enter, drops files, answers the questions it asks, reads the run
// log through the message dialog and checks the files on disk and the
// settings in the registry. Screenshots are asked of the calling script.
//
// Usage: gui_driver [gtest flags] <Tavro.exe> [<handshake folder> [<language files folder>]]
//   For a screenshot the driver writes <folder>\<name>.req ("left top width
//   height") and waits for <folder>\<name>.done.
#include "gui_kit_win32.h"

using namespace guikit;

namespace {

// ------------------------------------------------------------------ tests

TEST_F(GuiTest, PlainStartShowsCompactWindowWithFolderTitleAndTexts) {
  TavroRun run(programDir.path());
  ASSERT_TRUE(run.StartAndWait(""));
  EXPECT_EQ(run.Title(), "Tavro 1.00 - [" + programDir.path() + "]");
  EXPECT_TRUE(InLayout(run.main(), kMarkCompact)) << "client height " << ClientHeight(run.main());
  EXPECT_EQ(run.ItemText(kCipher), "Cipher");
  EXPECT_EQ(run.ItemText(kDecipher), "Decipher");
  EXPECT_EQ(run.ItemText(kPrompt), "Please input a password.");
  EXPECT_EQ(run.ItemText(kOkay), "OK");
  EXPECT_EQ(run.ItemText(kSite), "GO !");
  EXPECT_EQ(run.ItemText(kSiteCaption), "Tavro's SupportPage");
  EXPECT_EQ(run.ItemText(kStatusGroup), "status_run");
  // Confirm is on by default: the upper and the confirmation box, not the single one.
  EXPECT_TRUE(IsWindowVisible(run.Item(kUpperBox)));
  EXPECT_TRUE(IsWindowVisible(run.Item(kConfirmBox)));
  EXPECT_FALSE(IsWindowVisible(run.Item(kSingleBox)));
  EXPECT_FALSE(IsWindowVisible(run.Item(kProgress)));
  EXPECT_EQ(SendMessageA(run.Item(kUpperBox), EM_GETPASSWORDCHAR, 0, 0), '*');
  EXPECT_EQ(SendMessageA(run.Item(kConfirmBox), EM_GETPASSWORDCHAR, 0, 0), '*');
  EXPECT_EQ(run.Focus(), run.Item(kUpperBox));
  EXPECT_EQ(run.LogCount(), 0);
  Screenshot("layout_compact", run.main());

  run.PressEscape();
  EXPECT_TRUE(run.Ended(kWait));
  DWORD value = 0;
  EXPECT_TRUE(ReadDword("Confirm", &value)) << "settings are saved at exit";
  EXPECT_EQ(value, 1u);
}

TEST_F(GuiTest, CommandLineTargetsAndPasswordThenEnterEnciphers) {
  std::string first = dataDir.Join("a b.txt");
  std::string second = dataDir.Join("c.txt");
  testkit::WriteAll(first, std::string("first file\r\n"));
  testkit::WriteAll(second, std::string("second file, a little longer\r\n"));

  TavroRun run(programDir.path());
  ASSERT_TRUE(run.StartAndWait("-E -P \"pass word\" \"" + first + "\" " + second));
  EXPECT_TRUE(InLayout(run.main(), kMarkLog)) << "client height " << ClientHeight(run.main());
  EXPECT_EQ(run.Title(), "Tavro 1.00 - [SelectMode]");
  EXPECT_EQ(run.ItemText(kUpperBox), "pass word");
  EXPECT_EQ(run.ItemText(kConfirmBox), "pass word");
  std::vector<std::string> log = run.Log();
  ASSERT_EQ(log.size(), 3u) << Joined(log);
  EXPECT_EQ(log[0], "Drag : " + first);
  EXPECT_EQ(log[1], "Drag : " + second);
  EXPECT_EQ(log[2], "Msg: message_drop");
  Screenshot("layout_log", run.main());

  run.PressEnter();
  ASSERT_TRUE(WaitUntil([&] { return InLayout(run.main(), kMarkFull); })) << "the job ends in the full layout";
  ASSERT_TRUE(run.WaitIdle());
  EXPECT_FALSE(testkit::Exists(first));
  EXPECT_FALSE(testkit::Exists(second));
  EXPECT_EQ(NamesEndingIn(dataDir.path(), ".cpy").size(), 2u);
  EXPECT_EQ(testkit::ListNames(dataDir.path()).size(), 2u) << "nothing but the two enciphered files";
  EXPECT_EQ(run.Title(), "Tavro 1.00 - [" + programDir.path() + "]");
  EXPECT_EQ(run.ItemText(kPrompt), "Please input a password.");
  EXPECT_TRUE(IsWindowVisible(run.Item(kUpperBox)));
  EXPECT_EQ(run.ItemText(kUpperBox), "");
  EXPECT_FALSE(IsWindowVisible(run.Item(kProgress)));
  EXPECT_EQ(run.Focus(), run.Item(kOkay));
  log = run.Log();
  EXPECT_TRUE(Contains(log, "message_encryption_started")) << Joined(log);
  EXPECT_TRUE(Contains(log, "message_encryption_finished")) << Joined(log);
  Screenshot("layout_full", run.main());

  // Enter on the focused OK button closes the program.
  run.PressEnter();
  EXPECT_TRUE(run.Ended(kWait));
}

TEST_F(GuiTest, AutoStartAndAutoExitDecipherAndLeaveAutoExitOn) {
  std::string plain = dataDir.Join("note.txt");
  testkit::WriteAll(plain, std::string("deciphered again by an automatic run\r\n"));
  uint64_t sum = FileChecksum(plain);
  {
    TavroRun run(programDir.path());
    ASSERT_TRUE(run.StartAndWait("-E -AUTOSTART -P secret " + dataDir.path()));
    ASSERT_TRUE(WaitUntil([&] { return NamesEndingIn(dataDir.path(), ".cpy").size() == 1 && run.Idle(); }));
    EXPECT_FALSE(testkit::Exists(plain));
    run.PressEscape();
    ASSERT_TRUE(run.Ended(kWait));
  }
  {
    TavroRun run(programDir.path());
    ASSERT_TRUE(run.Start("-D -AUTOSTART -AUTOEXIT -P secret " + dataDir.path()));
    EXPECT_TRUE(run.Ended(20000)) << "the program closes itself after a clean job";
  }
  EXPECT_TRUE(testkit::Exists(plain));
  EXPECT_EQ(FileChecksum(plain), sum);
  EXPECT_TRUE(NamesEndingIn(dataDir.path(), ".cpy").empty());
  DWORD autoExit = 0;
  EXPECT_TRUE(ReadDword("AutoExit", &autoExit));
  EXPECT_EQ(autoExit, 1u);
}

TEST_F(GuiTest, AutoExitStaysOpenAfterAFailedFile) {
  std::string bad = dataDir.Join("broken.cpy");
  testkit::WriteAll(bad, std::string("not an enciphered file"));
  TavroRun run(programDir.path());
  ASSERT_TRUE(run.StartAndWait("-D -AUTOSTART -AUTOEXIT -P secret " + bad));
  ASSERT_TRUE(WaitUntil([&] { return InLayout(run.main(), kMarkFull); }));
  EXPECT_FALSE(run.Ended(1500)) << "an error line blocks the automatic exit";
  std::vector<std::string> log = run.Log();
  EXPECT_TRUE(Contains(log, "error_auto_exit")) << Joined(log);
  EXPECT_TRUE(testkit::Exists(bad));
  run.PressEscape();
  EXPECT_TRUE(run.Ended(kWait));
}

TEST_F(GuiTest, PasswordMismatchLogsAndStartsNothing) {
  std::string plain = dataDir.Join("keep.txt");
  testkit::WriteAll(plain, std::string("stays plain"));
  TavroRun run(programDir.path());
  ASSERT_TRUE(run.StartAndWait(""));
  ASSERT_TRUE(run.Drop({plain}));
  ASSERT_TRUE(WaitUntil([&] { return run.Title() == "Tavro 1.00 - [SelectMode]"; }));
  run.SetBox(kUpperBox, "one");
  run.SetBox(kConfirmBox, "");
  run.Click(kCipher);
  ASSERT_TRUE(WaitUntil([&] { return run.LogCount() == 3; })) << run.LogCount();
  // Before the log is read: reading it opens and closes the message dialog, which moves the focus.
  EXPECT_TRUE(WaitUntil([&] { return run.Focus() == run.Item(kConfirmBox); }))
      << "the focus goes to the empty confirmation box";
  std::vector<std::string> log = run.Log();
  EXPECT_EQ(log.back(), "password_miss") << Joined(log);
  EXPECT_TRUE(InLayout(run.main(), kMarkLog));
  EXPECT_EQ(run.ItemText(kUpperBox), "one") << "the boxes keep their texts";

  run.SetBox(kConfirmBox, "two");
  run.Click(kCipher);
  ASSERT_TRUE(WaitUntil([&] { return run.LogCount() == 4; }));
  Sleep(300);
  EXPECT_TRUE(run.Idle());
  EXPECT_TRUE(testkit::Exists(plain));
  EXPECT_TRUE(NamesEndingIn(dataDir.path(), ".cpy").empty());

  // Deciphering reads the upper box; a different confirmation box is only noted.
  run.Click(kDecipher);
  ASSERT_TRUE(WaitUntil([&] { return InLayout(run.main(), kMarkFull); }));
  log = run.Log();
  ASSERT_GE(log.size(), 6u) << Joined(log);
  EXPECT_EQ(log[4], "decipher_upbox_input") << Joined(log);
  EXPECT_EQ(log[5], "message_decryption_started") << Joined(log);
  EXPECT_TRUE(testkit::Exists(plain)) << "deciphering leaves a plain file alone";
  run.PressEscape();
  EXPECT_TRUE(run.Ended(kWait));
}

TEST_F(GuiTest, DigestQuestionNoAndCancelStartNothingYesStarts) {
  std::string first = dataDir.Join("first.txt");
  std::string second = dataDir.Join("second.txt");
  testkit::WriteAll(first, std::string("first"));
  testkit::WriteAll(second, std::string("second"));
  TavroRun run(programDir.path());
  ASSERT_TRUE(run.StartAndWait(""));

  // The first enciphering stores the digest without asking.
  ASSERT_TRUE(run.Drop({first}));
  run.SetBox(kUpperBox, "alpha");
  run.SetBox(kConfirmBox, "alpha");
  run.Click(kCipher);
  ASSERT_TRUE(WaitUntil([&] { return !testkit::Exists(first); }));
  ASSERT_TRUE(run.WaitIdle());
  EXPECT_EQ(run.WaitForQuestion(300), nullptr);

  ASSERT_TRUE(run.Drop({second}));
  for (int answer : {IDNO, IDCANCEL}) {
    run.SetBox(kUpperBox, "beta");
    run.SetBox(kConfirmBox, "beta");
    run.Click(kCipher);
    HWND question = run.WaitForQuestion();
    ASSERT_NE(question, nullptr) << "a different password is questioned";
    EXPECT_EQ(WindowText(GetDlgItem(question, 0xFFFF)), "message_password_hash");
    if (answer == IDNO) Screenshot("digest_question", question);
    PostMessageA(question, WM_COMMAND, MAKEWPARAM(answer, BN_CLICKED), 0);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(question); }));
    Sleep(300);
    EXPECT_TRUE(testkit::Exists(second)) << "answer " << answer << " starts nothing";
    EXPECT_TRUE(run.Idle());
    EXPECT_EQ(run.ItemText(kUpperBox), "beta") << "the boxes keep their texts";
  }
  run.Click(kCipher);
  HWND question = run.WaitForQuestion();
  ASSERT_NE(question, nullptr);
  PostMessageA(question, WM_COMMAND, MAKEWPARAM(IDYES, BN_CLICKED), 0);
  EXPECT_TRUE(WaitUntil([&] { return !testkit::Exists(second); })) << "Yes starts the job";
  ASSERT_TRUE(run.WaitIdle());

  // Yes stored the new digest: the same password is not questioned again.
  std::string third = dataDir.Join("third.txt");
  testkit::WriteAll(third, std::string("third"));
  ASSERT_TRUE(run.Drop({third}));
  run.SetBox(kUpperBox, "beta");
  run.SetBox(kConfirmBox, "beta");
  run.Click(kCipher);
  EXPECT_EQ(run.WaitForQuestion(500), nullptr);
  EXPECT_TRUE(WaitUntil([&] { return !testkit::Exists(third); }));
  ASSERT_TRUE(run.WaitIdle());
  run.PressEscape();
  EXPECT_TRUE(run.Ended(kWait));
}

TEST_F(GuiTest, DropOfFiveFilesLogsThemInOrderAndEnciphersThem) {
  std::vector<std::string> paths;
  for (int i = 1; i <= 5; ++i) {
    paths.push_back(dataDir.Join("file" + std::to_string(i) + ".dat"));
    testkit::WriteAll(paths.back(), testkit::PatternBytes(1000u * static_cast<size_t>(i), static_cast<uint32_t>(i)));
  }
  TavroRun run(programDir.path());
  ASSERT_TRUE(run.StartAndWait(""));
  // The program file itself is never a target.
  std::vector<std::string> dropped = paths;
  dropped.insert(dropped.begin() + 2, run.programPath());
  ASSERT_TRUE(run.Drop(dropped));
  ASSERT_TRUE(WaitUntil([&] { return run.LogCount() == 6; })) << run.LogCount();
  EXPECT_TRUE(InLayout(run.main(), kMarkLog));
  EXPECT_EQ(run.Title(), "Tavro 1.00 - [SelectMode]");
  std::vector<std::string> log = run.Log();
  ASSERT_EQ(log.size(), 6u) << Joined(log);
  EXPECT_EQ(log[0], "Msg: message_drop");
  for (int i = 0; i < 5; ++i) EXPECT_EQ(log[static_cast<size_t>(i) + 1], "Drag : " + paths[static_cast<size_t>(i)]);

  run.SetBox(kUpperBox, "five");
  run.SetBox(kConfirmBox, "five");
  run.PressEnter();
  ASSERT_TRUE(WaitUntil([&] { return NamesEndingIn(dataDir.path(), ".cpy").size() == 5 && run.Idle(); }));
  EXPECT_EQ(testkit::ListNames(dataDir.path()).size(), 5u);
  EXPECT_TRUE(testkit::Exists(run.programPath()));
  run.PressEscape();
  EXPECT_TRUE(run.Ended(kWait));
}

TEST_F(GuiTest, StopInTheMiddleOfALargeFileLosesNothing) {
  std::string big = dataDir.Join("big.bin");
  WriteLargeFile(big, 400);
  uint64_t size = 0;
  uint64_t sum = FileChecksum(big, &size);
  {
    TavroRun run(programDir.path());
    ASSERT_TRUE(run.StartAndWait("-E -P stop " + big));
    run.PressEnter();
    ASSERT_TRUE(WaitUntil([&] { return run.Title().find(" byte") != std::string::npos; }))
        << "the title shows the byte counts: " << run.Title();
    // The arrow between the counts: the Shift-JIS right arrow only where the
    // ANSI code page is 932, a readable one elsewhere.
    std::string arrow = GetACP() == 932 ? "\x81\xA8" : "->";
    std::string title = run.Title();
    EXPECT_EQ(title.rfind("Tavro ", 0), 0u) << title;
    EXPECT_NE(title.find(" byte " + arrow + " "), std::string::npos) << title << " (code page " << GetACP() << ")";
    // Planned: the file once for enciphering, once per overwrite pass (zeros,
    // random bytes) and once for the read-back of Verify.
    EXPECT_NE(title.find(" " + std::to_string(4 * size) + " byte"), std::string::npos) << title;
    EXPECT_EQ(run.ItemText(kDecipher), "Stop");
    EXPECT_FALSE(IsWindowEnabled(run.Item(kCipher)));
    EXPECT_FALSE(IsWindowVisible(run.Item(kUpperBox)));
    run.Click(kDecipher);  // the stop button of an enciphering job
    ASSERT_TRUE(run.WaitIdle(60000));
    std::vector<std::string> log = run.Log();
    EXPECT_TRUE(Contains(log, "message : message_encryption_canceled : " + big)) << Joined(log);
    run.PressEscape();
    ASSERT_TRUE(run.Ended(kWait));
  }
  for (const std::string& name : testkit::ListNames(dataDir.path())) {
    EXPECT_TRUE(name == "big.bin" || NamesEndingIn(dataDir.path(), ".cpy").size() == 1) << name;
  }
  if (!testkit::Exists(big)) DecipherFolder(programDir.path(), dataDir.path(), "stop");
  uint64_t after = 0;
  EXPECT_EQ(FileChecksum(big, &after), sum);
  EXPECT_EQ(after, size);
  EXPECT_EQ(testkit::ListNames(dataDir.path()), std::vector<std::string>{"big.bin"});
}

TEST_F(GuiTest, ClosingDuringAJobEndsTheProgramAndLosesNothing) {
  std::string big = dataDir.Join("big.bin");
  WriteLargeFile(big, 300);
  uint64_t sum = FileChecksum(big);
  {
    TavroRun run(programDir.path());
    ASSERT_TRUE(run.StartAndWait("-E -P close " + big));
    run.PressEnter();
    ASSERT_TRUE(WaitUntil([&] { return run.Title().find(" byte") != std::string::npos; }));
    PostMessageA(run.main(), WM_CLOSE, 0, 0);  // the close box
    EXPECT_TRUE(run.Ended(60000)) << "the program ends once the worker has stopped";
    DWORD code = 1;
    GetExitCodeProcess(run.process(), &code);
    EXPECT_EQ(code, 0u) << "no crash";
  }
  DWORD confirm = 0;
  EXPECT_TRUE(ReadDword("Confirm", &confirm)) << "the settings were saved after the worker ended";
  if (!testkit::Exists(big)) DecipherFolder(programDir.path(), dataDir.path(), "close");
  EXPECT_EQ(FileChecksum(big), sum);
  EXPECT_EQ(testkit::ListNames(dataDir.path()), std::vector<std::string>{"big.bin"});
}

TEST_F(GuiTest, ClosingAtAnyMomentOfAJobLosesNothing) {
  // Several files, closed at different moments: before the job has begun,
  // early in a file, later on, and right as the job ends.
  std::vector<std::string> paths;
  std::vector<uint64_t> sums;
  for (int i = 0; i < 3; ++i) {
    paths.push_back(dataDir.Join("part" + std::to_string(i) + ".bin"));
    WriteLargeFile(paths.back(), 24);
    sums.push_back(FileChecksum(paths.back()));
  }
  for (int delay : {0, 30, 200, 600, 1500}) {
    SCOPED_TRACE("closed " + std::to_string(delay) + " ms after Enter");
    {
      TavroRun run(programDir.path());
      ASSERT_TRUE(run.StartAndWait("-E -P moment " + dataDir.path()));
      run.PressEnter();
      Sleep(static_cast<DWORD>(delay));
      PostMessageA(run.main(), WM_CLOSE, 0, 0);
      ASSERT_TRUE(run.Ended(60000));
      DWORD code = 1;
      GetExitCodeProcess(run.process(), &code);
      EXPECT_EQ(code, 0u);
    }
    if (!NamesEndingIn(dataDir.path(), ".cpy").empty()) DecipherFolder(programDir.path(), dataDir.path(), "moment");
    for (size_t i = 0; i < paths.size(); ++i) EXPECT_EQ(FileChecksum(paths[i]), sums[i]) << paths[i];
    EXPECT_EQ(testkit::ListNames(dataDir.path()).size(), paths.size());
  }
}

TEST_F(GuiTest, EnterDuringAJobStopsItAndKeepsTheMode) {
  std::string big = dataDir.Join("big.bin");
  WriteLargeFile(big, 300);
  TavroRun run(programDir.path());
  ASSERT_TRUE(run.StartAndWait("-P enter " + big));  // no mode option: Enter runs the automatic mode
  run.PressEnter();
  ASSERT_TRUE(WaitUntil([&] { return run.Title().find(" byte") != std::string::npos; }));
  EXPECT_EQ(run.ItemText(kCipher), "Stop") << "the automatic mode's stop button is the cipher button";
  EXPECT_FALSE(IsWindowEnabled(run.Item(kDecipher)));
  run.PressEnter();  // the focus is not on OK: Enter stops the job
  ASSERT_TRUE(run.WaitIdle(60000));
  std::vector<std::string> log = run.Log();
  EXPECT_TRUE(Contains(log, "message : message_encryption_canceled : " + big)) << Joined(log);

  // The next Enter runs the automatic mode again.
  ASSERT_TRUE(run.Drop({big}));
  run.SetBox(kUpperBox, "enter");
  run.SetBox(kConfirmBox, "enter");
  PostMessageA(run.Item(kConfirmBox), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
  PostMessageA(run.Item(kConfirmBox), WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
  ASSERT_TRUE(WaitUntil([&] { return run.Focus() == run.Item(kConfirmBox); }));
  run.PressEnter();
  ASSERT_TRUE(WaitUntil([&] { return run.Title().find(" byte") != std::string::npos; }));
  EXPECT_EQ(run.ItemText(kCipher), "Stop");
  EXPECT_FALSE(IsWindowEnabled(run.Item(kDecipher)));
  run.Click(kCipher);
  ASSERT_TRUE(run.WaitIdle(60000));
  run.PressEscape();
  EXPECT_TRUE(run.Ended(kWait));
}

TEST_F(GuiTest, EndOfTheSessionDuringAJobStopsItAndSaves) {
  std::string big = dataDir.Join("big.bin");
  WriteLargeFile(big, 300);
  uint64_t sum = FileChecksum(big);
  {
    TavroRun run(programDir.path());
    ASSERT_TRUE(run.StartAndWait("-E -P session " + big));
    run.PressEnter();
    ASSERT_TRUE(WaitUntil([&] { return run.Title().find(" byte") != std::string::npos; }));
    // What the system does at log-off: ask, tell, then end the process.
    DWORD_PTR answer = 0;
    SendMessageTimeoutA(run.main(), WM_QUERYENDSESSION, 0, 0, SMTO_ABORTIFHUNG, 5000, &answer);
    EXPECT_TRUE(SendMessageTimeoutA(run.main(), WM_ENDSESSION, TRUE, 0, SMTO_ABORTIFHUNG, 20000, &answer));
    TerminateProcess(run.process(), 0);
    ASSERT_TRUE(run.Ended(kWait));
  }
  DWORD confirm = 0;
  EXPECT_TRUE(ReadDword("Confirm", &confirm)) << "the settings were saved before the end";
  EXPECT_TRUE(NamesEndingIn(dataDir.path(), ".tmp").empty()) << "no work file left behind";
  if (!testkit::Exists(big)) DecipherFolder(programDir.path(), dataDir.path(), "session");
  EXPECT_EQ(FileChecksum(big), sum);
  EXPECT_EQ(testkit::ListNames(dataDir.path()), std::vector<std::string>{"big.bin"});
}

TEST_F(GuiTest, DropDuringAJobWaitsForTheNextJob) {
  std::string big = dataDir.Join("big.bin");
  WriteLargeFile(big, 300);
  testkit::TempDir later;
  std::string small = later.Join("later.txt");
  testkit::WriteAll(small, std::string("dropped while the first job ran"));
  TavroRun run(programDir.path());
  ASSERT_TRUE(run.StartAndWait("-E -P drop " + big));
  run.PressEnter();
  ASSERT_TRUE(WaitUntil([&] { return run.Title().find(" byte") != std::string::npos; }));
  ASSERT_TRUE(run.Drop({small}));
  Screenshot("layout_running", run.main());
  ASSERT_TRUE(run.WaitIdle(120000));
  EXPECT_TRUE(testkit::Exists(small)) << "not added to the running job";
  EXPECT_EQ(run.Title(), "Tavro 1.00 - [SelectMode]");
  std::vector<std::string> log = run.Log();
  bool mentioned = false;
  for (const std::string& line : log) mentioned = mentioned || line.find(small) != std::string::npos;
  EXPECT_TRUE(mentioned) << Joined(log);

  run.SetBox(kUpperBox, "drop");
  run.SetBox(kConfirmBox, "drop");
  run.Click(kCipher);
  EXPECT_TRUE(WaitUntil([&] { return !testkit::Exists(small); })) << "the next job takes it";
  ASSERT_TRUE(run.WaitIdle());
  EXPECT_EQ(NamesEndingIn(later.path(), ".cpy").size(), 1u);
  run.PressEscape();
  EXPECT_TRUE(run.Ended(kWait));
}

TEST_F(GuiTest, MessageDialogShowsTheWholeLineAndCopiesIt) {
  TavroRun run(programDir.path());
  std::string path = dataDir.Join("a rather long file name to see the line wrap in the run log.txt");
  testkit::WriteAll(path, std::string("x"));
  ASSERT_TRUE(run.StartAndWait("\"" + path + "\""));
  ASSERT_TRUE(WaitUntil([&] { return run.LogCount() == 2; }));
  HWND box = nullptr;
  std::string text;
  ASSERT_TRUE(run.ReadLogLine(1, &text, &box));
  EXPECT_EQ(text, "Drag : " + path);
  EXPECT_EQ(WindowText(GetDlgItem(box, kMessageCopy)), "button_text_copy");
  EXPECT_EQ(WindowText(GetDlgItem(box, IDOK)), "OK");
  Screenshot("message_dialog", box);
  if (OpenClipboard(nullptr)) {
    EmptyClipboard();
    CloseClipboard();
  }
  PostMessageA(GetDlgItem(box, kMessageCopy), BM_CLICK, 0, 0);
  std::string copied;
  WaitUntil([&] {
    if (!OpenClipboard(nullptr)) return false;
    HANDLE data = GetClipboardData(CF_TEXT);
    if (data) {
      const char* p = static_cast<const char*>(GlobalLock(data));
      if (p) copied = p;
      GlobalUnlock(data);
    }
    CloseClipboard();
    return !copied.empty();
  }, 5000);
  EXPECT_EQ(copied, "Drag : " + path);
  EXPECT_TRUE(IsWindow(box)) << "COPY leaves the dialog open";
  DWORD start = 1, end = 1;
  SendMessageA(GetDlgItem(box, kMessageText), EM_GETSEL, reinterpret_cast<WPARAM>(&start),
               reinterpret_cast<LPARAM>(&end));
  EXPECT_EQ(start, end) << "nothing stays selected";
  PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  ASSERT_TRUE(WaitUntil([&] { return !IsWindow(box); }));
  Screenshot("layout_log_long_line", run.main());
  run.PressEscape();
  EXPECT_TRUE(run.Ended(kWait));
}

TEST_F(GuiTest, AboutDialogShowsVersionAndLinks) {
  TavroRun run(programDir.path());
  ASSERT_TRUE(run.StartAndWait(""));
  HWND about = run.OpenAbout();
  ASSERT_NE(about, nullptr);
  EXPECT_EQ(WindowText(GetDlgItem(about, kAboutVersion)), "Tavro version  1.00  Release");
  EXPECT_EQ(WindowText(GetDlgItem(about, 1025)), "No Registration");
  EXPECT_EQ(WindowText(GetDlgItem(about, 1026)), "");
  EXPECT_EQ(WindowText(GetDlgItem(about, 1028)), "Email");
  EXPECT_EQ(WindowText(GetDlgItem(about, 1024)), "Veltrane");
  Screenshot("about_dialog", about);
  PostMessageA(about, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  ASSERT_TRUE(WaitUntil([&] { return !IsWindow(about); }));
  run.PressEscape();
  EXPECT_TRUE(run.Ended(kWait));
}

TEST_F(GuiTest, LanguageChooserOnFirstStartThenTextsStay) {
  testkit::WriteAll(programDir.Join("english.zen"), std::string("language=English\r\nbutton_cipher=Cipher\r\n"));
  testkit::WriteAll(programDir.Join("test.zen"),
                    std::string("// a test language\r\nbutton_cipher=Lock\r\nbutton_decipher=Unlock\r\n"
                                "language=Testish\r\nmessage_drop=Files arrived\r\n"));
  testkit::WriteAll(programDir.Join("none.zen"), std::string("button_cipher=Nothing\r\n"));
  {
    TavroRun run(programDir.path());
    ASSERT_TRUE(run.Start(""));
    HWND chooser = nullptr;
    ASSERT_TRUE(WaitUntil([&] {
      chooser = FindChooser(run.processId());
      return chooser != nullptr;
    }));
    HWND list = GetDlgItem(chooser, kLanguageList);
    EXPECT_EQ(SendMessageA(list, LB_GETCOUNT, 0, 0), 2) << "the file without a language line is not offered";
    LRESULT item = SendMessageA(list, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                reinterpret_cast<LPARAM>("Testish"));
    ASSERT_NE(item, LB_ERR);
    EXPECT_EQ(item, 1) << "sorted by display name";
    SendMessageA(list, LB_SETCURSEL, static_cast<WPARAM>(item), 0);
    Screenshot("language_chooser", chooser);
    PostMessageA(chooser, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    ASSERT_TRUE(run.WaitForMain());
    EXPECT_EQ(run.ItemText(kCipher), "Lock");
    EXPECT_EQ(run.ItemText(kDecipher), "Unlock");
    EXPECT_FALSE(testkit::Exists(programDir.Join("english.zen")));
    EXPECT_FALSE(testkit::Exists(programDir.Join("test.zen")));
    EXPECT_TRUE(testkit::Exists(programDir.Join("english.zen.old")));
    EXPECT_TRUE(testkit::Exists(programDir.Join("test.zen.old")));
    EXPECT_TRUE(testkit::Exists(programDir.Join("none.zen"))) << "a file not offered stays";
    run.PressEscape();
    ASSERT_TRUE(run.Ended(kWait));
  }
  testkit::TempDir otherDir;
  {
    // The next start (even from another folder) shows no chooser and keeps the texts.
    TavroRun run(otherDir.path());
    ASSERT_TRUE(run.StartAndWait(""));
    EXPECT_EQ(run.ItemText(kCipher), "Lock");
    EXPECT_EQ(FindChooser(run.processId()), nullptr);
    run.PressEscape();
    ASSERT_TRUE(run.Ended(kWait));
  }
}

TEST_F(GuiTest, LanguageChooserReportsAFailedRenameAndStaysOpen) {
  testkit::WriteAll(programDir.Join("alpha.zen"), std::string("language=Alpha\r\nbutton_cipher=A\r\n"));
  testkit::WriteAll(programDir.Join("beta.zen"), std::string("language=Beta\r\nbutton_cipher=B\r\n"));
  testkit::WriteAll(programDir.Join("alpha.zen.old"), std::string("in the way"));
  TavroRun run(programDir.path());
  ASSERT_TRUE(run.Start(""));
  HWND chooser = nullptr;
  ASSERT_TRUE(WaitUntil([&] {
    chooser = FindChooser(run.processId());
    return chooser != nullptr;
  }));
  HWND list = GetDlgItem(chooser, kLanguageList);
  SendMessageA(list, LB_SETCURSEL,
               static_cast<WPARAM>(SendMessageA(list, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                                reinterpret_cast<LPARAM>("Beta"))),
               0);
  PostMessageA(chooser, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  HWND report = nullptr;
  ASSERT_TRUE(WaitUntil([&] {
    report = FindDialog(run.processId(), [&](HWND w) { return w != chooser && WindowText(w) == "Tavro"; });
    return report != nullptr;
  }));
  std::string text = WindowText(GetDlgItem(report, 0xFFFF));
  EXPECT_NE(text.find(programDir.Join("alpha.zen")), std::string::npos) << "the report names the file: " << text;
  PostMessageA(report, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  ASSERT_TRUE(WaitUntil([&] { return !IsWindow(report); }));
  EXPECT_TRUE(IsWindow(chooser) && IsWindowVisible(chooser)) << "the chooser stays open";
  PostMessageA(chooser, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
  ASSERT_TRUE(run.WaitForMain());
  EXPECT_EQ(run.ItemText(kCipher), "Cipher") << "nothing was chosen";
  EXPECT_TRUE(testkit::Exists(programDir.Join("alpha.zen")));
  EXPECT_TRUE(testkit::Exists(programDir.Join("beta.zen")));
  run.PressEscape();
  EXPECT_TRUE(run.Ended(kWait));
}

TEST_F(GuiTest, ConfirmOffShowsTheSingleBoxAndMaskOffShowsText) {
  WriteDword("Confirm", 0);
  WriteDword("PasswordMask", 0);
  std::string plain = dataDir.Join("single.txt");
  testkit::WriteAll(plain, std::string("single box"));
  TavroRun run(programDir.path());
  ASSERT_TRUE(run.StartAndWait("-P one " + plain));
  EXPECT_TRUE(IsWindowVisible(run.Item(kSingleBox)));
  EXPECT_FALSE(IsWindowVisible(run.Item(kUpperBox)));
  EXPECT_FALSE(IsWindowVisible(run.Item(kConfirmBox)));
  EXPECT_EQ(run.ItemText(kSingleBox), "one");
  EXPECT_EQ(SendMessageA(run.Item(kSingleBox), EM_GETPASSWORDCHAR, 0, 0), 0);
  EXPECT_EQ(run.Focus(), run.Item(kSingleBox));
  Screenshot("layout_single_box", run.main());
  run.PressEnter();
  EXPECT_TRUE(WaitUntil([&] { return !testkit::Exists(plain); }));
  ASSERT_TRUE(run.WaitIdle());
  run.PressEscape();
  EXPECT_TRUE(run.Ended(kWait));
}

TEST_F(GuiTest, TheTwoHundredthLineEmptiesTheLogUnderANotice) {
  TavroRun run(programDir.path());
  ASSERT_TRUE(run.StartAndWait(""));
  std::vector<std::string> paths;
  for (int i = 1; i <= 199; ++i) paths.push_back(dataDir.Join("missing" + std::to_string(i) + ".txt"));
  ASSERT_TRUE(run.Drop(paths));  // one "Msg: " line and 199 "Drag : " lines
  ASSERT_TRUE(WaitUntil([&] {
    return run.LogCount() == 2 && SendMessageA(run.Item(kRunLog), LB_GETITEMDATA, 0, 0) == 200;
  })) << run.LogCount();
  EXPECT_GE(SendMessageA(run.Item(kRunLog), LB_GETITEMDATA, 1, 0), 1000) << "the notice sits under the line";
  std::string text;
  ASSERT_TRUE(run.ReadLogLine(0, &text));
  EXPECT_EQ(text, "Drag : " + paths.back());
  // The notice has no entry: a double click on it shows nothing.
  SendMessageA(run.Item(kRunLog), LB_SETCURSEL, 1, 0);
  PostMessageA(run.main(), WM_COMMAND, MAKEWPARAM(kRunLog, LBN_DBLCLK), reinterpret_cast<LPARAM>(run.Item(kRunLog)));
  EXPECT_FALSE(WaitUntil([&] {
    return FindDialog(run.processId(), [](HWND w) { return WindowText(w) == "Tavro Message"; }) != nullptr;
  }, 700));
  Screenshot("log_max_notice", run.main());
  // The exit entry of the context menu closes the program like Escape.
  run.Command(57665);
  EXPECT_TRUE(run.Ended(kWait));
}

TEST_F(GuiTest, ContextMenuOpensAndTheWindowStillCloses) {
  TavroRun run(programDir.path());
  ASSERT_TRUE(run.StartAndWait(""));
  RECT rect;
  GetWindowRect(run.main(), &rect);
  PostMessageA(run.main(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(run.main()),
               MAKELPARAM(rect.left + 40, rect.top + 40));
  HWND menu = nullptr;
  ASSERT_TRUE(WaitUntil([&] {
    menu = FindWindowA("#32768", nullptr);
    DWORD owner = 0;
    if (menu) GetWindowThreadProcessId(menu, &owner);
    return menu != nullptr && owner == run.processId() && IsWindowVisible(menu);
  }, 5000));
  SendMessageA(run.main(), WM_CANCELMODE, 0, 0);
  EXPECT_TRUE(WaitUntil([&] { return !IsWindowVisible(menu); }, 5000));
  run.PressEscape();
  EXPECT_TRUE(run.Ended(kWait));
}

TEST_F(GuiTest, DistributedEnglishFileNamesEveryText) {
  if (g_languages.empty()) GTEST_SKIP() << "no language files folder given";
  ASSERT_TRUE(CopyFileA((g_languages + "\\english.zen").c_str(), programDir.Join("english.zen").c_str(), FALSE));
  ASSERT_TRUE(CopyFileA((g_languages + "\\deutsch.zen").c_str(), programDir.Join("deutsch.zen").c_str(), FALSE));
  std::string plain = dataDir.Join("letter.txt");
  testkit::WriteAll(plain, std::string("Dear reader"));
  TavroRun run(programDir.path());
  ASSERT_TRUE(run.Start("-E -P word " + plain));
  HWND chooser = nullptr;
  ASSERT_TRUE(WaitUntil([&] {
    chooser = FindChooser(run.processId());
    return chooser != nullptr;
  }));
  HWND list = GetDlgItem(chooser, kLanguageList);
  EXPECT_EQ(SendMessageA(list, LB_GETCOUNT, 0, 0), 2);
  SendMessageA(list, LB_SETCURSEL,
               static_cast<WPARAM>(SendMessageA(list, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                                reinterpret_cast<LPARAM>("English"))),
               0);
  PostMessageA(chooser, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  ASSERT_TRUE(run.WaitForMain());
  EXPECT_EQ(run.ItemText(kStatusGroup), "Run status");
  run.PressEnter();
  ASSERT_TRUE(WaitUntil([&] { return InLayout(run.main(), kMarkFull); }));
  std::vector<std::string> log = run.Log();
  for (const std::string& line : log) {
    EXPECT_EQ(line.find('_'), std::string::npos) << "a key shows as itself: " << line;
  }
  Screenshot("english_full", run.main());
  HWND about = run.OpenAbout();
  ASSERT_NE(about, nullptr);
  Screenshot("english_about", about);
  PostMessageA(about, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  ASSERT_TRUE(WaitUntil([&] { return !IsWindow(about); }));
  HWND box = nullptr;
  std::string text;
  ASSERT_TRUE(run.ReadLogLine(0, &text, &box));
  EXPECT_EQ(WindowText(GetDlgItem(box, kMessageCopy)), "COPY");
  Screenshot("english_message", box);
  PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  ASSERT_TRUE(WaitUntil([&] { return !IsWindow(box); }));
  run.PressEscape();
  EXPECT_TRUE(run.Ended(kWait));
}

// The run under a Japanese system says so through TAVRO_EXPECT_ACP.
TEST(GuiSystem, AnsiCodePageIsTheOneAskedFor) {
  const char* expected = std::getenv("TAVRO_EXPECT_ACP");
  if (!expected) GTEST_SKIP() << "code page " << GetACP();
  EXPECT_EQ(GetACP(), static_cast<UINT>(std::atoi(expected)));
}

}  // namespace

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  ::testing::InitGoogleTest(&argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: gui_driver [gtest flags] <Tavro.exe> [handshake folder [language folder]]\n");
    return 2;
  }
  g_program = argv[1];
  if (argc > 2) g_handshake = argv[2];
  if (argc > 3) g_languages = argv[3];
  return RUN_ALL_TESTS();
}
