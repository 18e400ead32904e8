// The settings sheet of the real Tavro.exe, driven from outside: opened from
// the context menu, its option tree read from the program's memory (records
// and rows), boxes clicked where the tree draws them, OK or Cancel pressed;
// the effects checked where a user or the shell sees them: the main window,
// the registry (at exit, and HKEY_CLASSES_ROOT), the Send To folder, and the
// program started the way the shell starts it.
#include "gui_kit_win32.h"

#include <commctrl.h>
#include <prsht.h>

#include <cstring>

#include "platform/shell.h"
#include "settings/edit_tree_model.h"

using namespace guikit;

namespace {

constexpr int kSetCommand = 32783;
constexpr int kOptionTree = 1033;

// ------------------------------------------------- the program's memory

class RemoteMemory {
 public:
  RemoteMemory(HANDLE process, size_t size)
      : process_(process), address_(VirtualAllocEx(process, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE)) {}
  ~RemoteMemory() {
    if (address_) VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
  }
  LPARAM address() const { return reinterpret_cast<LPARAM>(address_); }
  bool Write(const void* data, size_t size) const {
    SIZE_T done = 0;
    return address_ && WriteProcessMemory(process_, address_, data, size, &done) && done == size;
  }
  bool Read(void* data, size_t size) const { return ReadFrom(process_, address_, data, size); }
  static bool ReadFrom(HANDLE process, const void* at, void* data, size_t size) {
    SIZE_T done = 0;
    return at && ReadProcessMemory(process, at, data, size, &done) && done == size;
  }

 private:
  HANDLE process_;
  void* address_;
};

// A std::string of the program (the same compiler and library build both):
// its data pointer and its length lead the object.
static_assert(sizeof(std::string) == 32, "the string layout this driver reads");
std::string RemoteString(HANDLE process, const unsigned char* object) {
  const char* data = nullptr;
  size_t length = 0;
  std::memcpy(&data, object, sizeof data);
  std::memcpy(&length, object + sizeof data, sizeof length);
  if (length > 4096) return "<unreadable>";
  std::string text(length, '\0');
  if (length && !RemoteMemory::ReadFrom(process, data, &text[0], length)) return "<unreadable>";
  return text;
}

// One visible item of the option tree as the program holds it.
struct Row {
  HTREEITEM item = nullptr;
  std::string path, label;
  int kind = -1, state = -1;
  TreeRect row;
};

// ------------------------------------------------------------ the sheet

class Sheet {
 public:
  Sheet(const TavroRun& run, std::string caption) : run_(run), caption_(std::move(caption)) {}

  // Through the context menu: its first entry is "menu_set".
  bool Open() {
    RECT rect;
    GetWindowRect(run_.main(), &rect);
    PostMessageA(run_.main(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(run_.main()),
                 MAKELPARAM(rect.left + 40, rect.top + 40));
    DWORD pid = run_.processId();
    bool shown = WaitUntil([&] { return VisibleMenu(pid); }, 5000);
    if (!shown) {
      ADD_FAILURE() << "the context menu did not show";
      return false;
    }
    run_.PressKey(VK_DOWN);
    run_.PressKey(VK_RETURN);
    return Locate();
  }
  // Straight through the menu command (while the main window is busy).
  bool OpenByCommand() {
    run_.Command(kSetCommand);
    return Locate();
  }

  // A popup menu of the process is showing (another one may be hidden).
  static bool VisibleMenu(DWORD pid) {
    struct Search {
      DWORD pid;
      bool found;
    } search = {pid, false};
    EnumWindows(
        [](HWND w, LPARAM p) -> BOOL {
          auto* s = reinterpret_cast<Search*>(p);
          char name[16] = {};
          DWORD owner = 0;
          GetClassNameA(w, name, sizeof name);
          GetWindowThreadProcessId(w, &owner);
          if (owner == s->pid && std::string(name) == "#32768" && IsWindowVisible(w)) s->found = true;
          return !s->found;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
  }

  HWND window() const { return window_; }
  HWND tree() const { return tree_; }

  // Every item, depth first (the order of the tree), with its row.
  std::vector<Row> Rows() const {
    std::vector<Row> rows;
    RemoteMemory item(run_.process(), sizeof(TVITEMA)), rect(run_.process(), sizeof(RECT));
    Collect(reinterpret_cast<HTREEITEM>(SendMessageA(tree_, TVM_GETNEXTITEM, TVGN_ROOT, 0)), item, rect, &rows);
    return rows;
  }

  Row Find(const std::string& path) const {
    for (const Row& row : Rows()) {
      if (row.path == path) return row;
    }
    ADD_FAILURE() << "no item " << path;
    return Row();
  }
  int State(const std::string& path) const { return Find(path).state; }

  // Clicks the box where the tree draws it, and waits for its state to flip.
  void Click(const std::string& path) const {
    SendMessageA(tree_, TVM_ENSUREVISIBLE, 0, reinterpret_cast<LPARAM>(Find(path).item));
    const Row row = Find(path);
    const TreeRect box = TreeBox(row.row);
    const LPARAM at = MAKELPARAM((box.left + box.right) / 2, (box.top + box.bottom) / 2);
    PostMessageA(tree_, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageA(tree_, WM_LBUTTONUP, 0, at);
    const int before = row.state;
    EXPECT_TRUE(WaitUntil([&] { return (State(path) != 0) != (before != 0); }, 5000)) << "click on " << path;
  }

  void PressOk() const { PostMessageA(window_, PSM_PRESSBUTTON, PSBTN_OK, 0); }
  void PressCancel() const { PostMessageA(window_, PSM_PRESSBUTTON, PSBTN_CANCEL, 0); }
  bool Closed(int timeoutMs = kWait) const { return WaitUntil([&] { return !IsWindow(window_); }, timeoutMs); }

 private:
  bool Locate() {
    const DWORD pid = run_.processId();
    const std::string caption = caption_;
    if (!WaitUntil([&] {
          window_ = FindDialog(pid, [&](HWND w) { return WindowText(w) == caption; });
          return window_ != nullptr;
        })) {
      ADD_FAILURE() << "no sheet captioned " << caption;
      return false;
    }
    page_ = reinterpret_cast<HWND>(SendMessageA(window_, PSM_GETCURRENTPAGEHWND, 0, 0));
    tree_ = GetDlgItem(page_, kOptionTree);
    if (!tree_) {
      ADD_FAILURE() << "no option tree on page " << page_;
      return false;
    }
    const bool complete = WaitUntil([&] { return Rows().size() == 13; }, 5000);
    if (!complete) ADD_FAILURE() << Rows().size() << " rows";
    return complete;
  }

  void Collect(HTREEITEM first, const RemoteMemory& item, const RemoteMemory& rect, std::vector<Row>* rows) const {
    for (HTREEITEM h = first; h;
         h = reinterpret_cast<HTREEITEM>(SendMessageA(tree_, TVM_GETNEXTITEM, TVGN_NEXT, reinterpret_cast<LPARAM>(h)))) {
      Row row;
      row.item = h;
      TVITEMA query = {};
      query.mask = TVIF_PARAM | TVIF_HANDLE;
      query.hItem = h;
      if (!item.Write(&query, sizeof query) || !SendMessageA(tree_, TVM_GETITEMA, 0, item.address()) ||
          !item.Read(&query, sizeof query)) {
        return;
      }
      ReadRecord(reinterpret_cast<const void*>(query.lParam), &row);
      RECT text = {}, line = {};
      if (ItemRect(rect, h, TRUE, &text) && ItemRect(rect, h, FALSE, &line)) {
        row.row = TreeRow({text.left, text.top, text.right, text.bottom}, {line.left, line.top, line.right, line.bottom});
      }
      rows->push_back(row);
      Collect(reinterpret_cast<HTREEITEM>(SendMessageA(tree_, TVM_GETNEXTITEM, TVGN_CHILD, reinterpret_cast<LPARAM>(h))),
              item, rect, rows);
    }
  }

  bool ItemRect(const RemoteMemory& memory, HTREEITEM item, BOOL textOnly, RECT* out) const {
    RECT rect = {};
    std::memcpy(&rect, &item, sizeof item);
    return memory.Write(&rect, sizeof rect) && SendMessageA(tree_, TVM_GETITEMRECT, textOnly, memory.address()) &&
           memory.Read(out, sizeof *out);
  }

  void ReadRecord(const void* address, Row* row) const {
    alignas(EditTreeItem) unsigned char raw[sizeof(EditTreeItem)];
    if (!RemoteMemory::ReadFrom(run_.process(), address, raw, sizeof raw)) return;
    static const EditTreeItem probe;
    auto offset = [](const void* member) {
      return static_cast<size_t>(static_cast<const unsigned char*>(member) - reinterpret_cast<const unsigned char*>(&probe));
    };
    std::memcpy(&row->kind, raw + offset(&probe.kind), sizeof(int32_t));
    std::memcpy(&row->state, raw + offset(&probe.state), sizeof(int32_t));
    row->label = RemoteString(run_.process(), raw + offset(&probe.label));
    row->path = RemoteString(run_.process(), raw + offset(&probe.path));
  }

  const TavroRun& run_;
  std::string caption_;
  HWND window_ = nullptr, page_ = nullptr, tree_ = nullptr;
};

// --------------------------------------------------------- the shell side

struct Value {
  DWORD type = REG_NONE;
  std::string data;
};

bool ReadClassValue(const std::string& key, const char* name, Value* value) {
  HKEY handle;
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) return false;
  char buffer[1024];
  DWORD size = sizeof buffer;
  LONG rc = RegQueryValueExA(handle, name, nullptr, &value->type, reinterpret_cast<BYTE*>(buffer), &size);
  RegCloseKey(handle);
  if (rc != ERROR_SUCCESS) return false;
  value->data.assign(buffer, size);
  return true;
}

bool ClassKeyExists(const std::string& key) {
  HKEY handle;
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) return false;
  RegCloseKey(handle);
  return true;
}

void WriteClassString(const std::string& key, const char* name, const std::string& text) {
  HKEY handle;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &handle, nullptr),
            ERROR_SUCCESS);
  RegSetValueExA(handle, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                 static_cast<DWORD>(text.size() + 1));
  RegCloseKey(handle);
}

std::string Sz(const std::string& text) { return text + std::string(1, '\0'); }

const char* const kFiveKeys[] = {".cpy", "Tavro\\Shell\\Open\\Command", "Tavro\\shell\\open", "Tavro\\shell", "Tavro"};

// The file type as another program (or another copy of Tavro) would leave it.
void RegisterByOtherMeans(const std::string& command) {
  WriteClassString(".cpy", nullptr, "Tavro");
  WriteClassString(".cpy", "Content Type", "application/tavro");
  WriteClassString("Tavro", nullptr, "Registered elsewhere");
  WriteClassString("Tavro\\Shell\\Open\\Command", nullptr, command);
}

std::string SendToFolder() {
  char path[MAX_PATH] = {};
  SHGetSpecialFolderPathA(nullptr, path, CSIDL_SENDTO, TRUE);
  return path;
}

std::vector<std::string> Shortcuts() { return NamesEndingIn(SendToFolder(), ".lnk"); }

class SheetTest : public GuiTest {
 protected:
  void SetUp() override {
    GuiTest::SetUp();
    Clean();
  }
  void TearDown() override {
    Clean();
    GuiTest::TearDown();
  }
  static void Clean() {
    for (const char* key : kFiveKeys) RegDeleteKeyA(HKEY_CLASSES_ROOT, key);
    for (const std::string& name : Shortcuts()) {
      const std::string path = SendToFolder() + "\\" + name;
      SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
      DeleteFileA(path.c_str());
    }
  }
};

const char* const kBoxes[] = {"security>zero", "security>rand", "security>readonly", "security>verify",
                              "view>autoexit", "view>ext",      "view>sendto",       "pass>again",
                              "pass>mask",     "pass>hash"};

void ExpectFlags(const std::vector<std::pair<const char*, DWORD>>& flags) {
  for (const auto& flag : flags) {
    DWORD value = 99;
    EXPECT_TRUE(ReadDword(flag.first, &value)) << flag.first;
    EXPECT_EQ(value, flag.second) << flag.first;
  }
}

// ---------------------------------------------------------------- cases

TEST_F(SheetTest, FromTheContextMenuItShowsKeysAndCancelChangesNothing) {
  TavroRun run(programDir.path());
  ASSERT_TRUE(run.StartAndWait(""));
  Sheet sheet(run, "set_title");
  ASSERT_TRUE(sheet.Open()) << "menu_set opens the sheet";

  // Without a text table the labels are the keys; groups, then their boxes.
  const std::vector<std::vector<std::string>> expected = {
      {"security", "set_main_security", "0"},     {"security>zero", "menu_write_zero", "1"},
      {"security>rand", "menu_write_random", "1"}, {"security>readonly", "menu_write_readonly", "0"},
      {"security>verify", "menu_verify", "1"},     {"view", "set_main_view", "0"},
      {"view>autoexit", "menu_auto_exit", "0"},
      {"view>ext", "menu_ext", "0"},              {"view>sendto", "menu_sendto", "0"},
      {"pass", "set_main_password", "0"},         {"pass>again", "menu_again_password", "1"},
      {"pass>mask", "menu_password_mask", "1"},    {"pass>hash", "menu_password_hash", "1"}};
  std::vector<Row> rows = sheet.Rows();
  ASSERT_EQ(rows.size(), expected.size());
  for (size_t i = 0; i < rows.size(); ++i) {
    EXPECT_EQ(rows[i].path, expected[i][0]);
    EXPECT_EQ(rows[i].label, expected[i][1]);
    EXPECT_EQ(std::to_string(rows[i].state), expected[i][2]) << rows[i].path;
    EXPECT_EQ(rows[i].kind, expected[i][0].find('>') == std::string::npos ? kTreeGroup : kTreeCheck);
    // All expanded, one under the other, 22 pixels apart (the rows Wine
    // reports are a pixel shorter than their pitch).
    EXPECT_EQ(rows[i].row.top, 22 * static_cast<int>(i)) << "all expanded, the first at the top";
    EXPECT_GE(rows[i].row.bottom - rows[i].row.top, 21);
  }
  EXPECT_GT(rows[1].row.left, rows[0].row.left) << "boxes are indented under their group";
  Screenshot("settings_sheet_keys", sheet.window());

  // A click right of a label hits its row.
  SendMessageA(sheet.tree(), TVM_ENSUREVISIBLE, 0, reinterpret_cast<LPARAM>(rows.back().item));
  const Row last = sheet.Find("pass>hash");
  PostMessageA(sheet.tree(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(last.row.right - 5, last.row.top + 5));
  PostMessageA(sheet.tree(), WM_LBUTTONUP, 0, MAKELPARAM(last.row.right - 5, last.row.top + 5));
  EXPECT_TRUE(WaitUntil([&] { return sheet.State("pass>hash") == 0; }, 5000));
  // The keyboard moves the selection and toggles nothing.
  PostMessageA(sheet.tree(), WM_KEYDOWN, VK_UP, 0);
  PostMessageA(sheet.tree(), WM_KEYDOWN, VK_SPACE, 0);
  PostMessageA(sheet.tree(), WM_CHAR, ' ', 0);
  Sleep(300);
  EXPECT_EQ(sheet.State("pass>mask"), 1);

  for (const char* box : kBoxes) {
    if (std::string(box) != "pass>hash") sheet.Click(box);
  }
  Screenshot("settings_sheet_ticked", sheet.window());
  sheet.PressCancel();
  ASSERT_TRUE(sheet.Closed());

  // Nothing changed: the window, the shell, and the sheet opened again.
  EXPECT_TRUE(IsWindowVisible(run.Item(kUpperBox)));
  EXPECT_FALSE(IsWindowVisible(run.Item(kSingleBox)));
  EXPECT_EQ(SendMessageA(run.Item(kUpperBox), EM_GETPASSWORDCHAR, 0, 0), '*');
  for (const char* key : kFiveKeys) EXPECT_FALSE(ClassKeyExists(key)) << key;
  EXPECT_TRUE(Shortcuts().empty());
  ASSERT_TRUE(sheet.Open());
  rows = sheet.Rows();
  for (size_t i = 0; i < rows.size(); ++i) EXPECT_EQ(std::to_string(rows[i].state), expected[i][2]) << rows[i].path;

  // A double click on a group folds it, another unfolds it; its boxes keep their states.
  auto doubleClick = [&](const std::string& path) {
    SendMessageA(sheet.tree(), TVM_ENSUREVISIBLE, 0, reinterpret_cast<LPARAM>(sheet.Find(path).item));
    const TreeRect label = TreeLabel(sheet.Find(path).row);
    const LPARAM at = MAKELPARAM(label.left + 10, (label.top + label.bottom) / 2);
    PostMessageA(sheet.tree(), WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageA(sheet.tree(), WM_LBUTTONUP, 0, at);
    PostMessageA(sheet.tree(), WM_LBUTTONDBLCLK, MK_LBUTTON, at);
    PostMessageA(sheet.tree(), WM_LBUTTONUP, 0, at);
  };
  doubleClick("view");
  EXPECT_TRUE(WaitUntil([&] { return sheet.Find("view>ext").row.bottom == 0; }, 5000)) << "folded";
  doubleClick("view");
  EXPECT_TRUE(WaitUntil([&] { return sheet.Find("view>ext").row.bottom != 0; }, 5000)) << "unfolded";
  EXPECT_EQ(sheet.State("view>autoexit"), 0);
  sheet.PressCancel();
  ASSERT_TRUE(sheet.Closed());
  run.PressEscape();
  ASSERT_TRUE(run.Ended(kWait));
  ExpectFlags({{"Zero", 1}, {"Rand", 1}, {"WriteReadOnly", 0}, {"AutoExit", 0}, {"Confirm", 1}, {"PasswordMask", 1},
               {"HashCheck", 1}, {"Verify", 1}});
}

TEST_F(SheetTest, OkWithoutChangesCallsNoShellOperationAndLeavesTheBoxes) {
  const std::string foreign = "\"C:\\elsewhere\\Tavro.exe\" \"%1\"";
  RegisterByOtherMeans(foreign);
  TavroRun run(programDir.path());
  ASSERT_TRUE(run.StartAndWait(""));
  ASSERT_TRUE(platform::CreateShellLink(SendToFolder() + "\\Other name.lnk", run.programPath(), ""));
  run.SetBox(kUpperBox, "secret");
  run.SetBox(kConfirmBox, "secret");

  Sheet sheet(run, "set_title");
  ASSERT_TRUE(sheet.Open());
  EXPECT_EQ(sheet.State("view>ext"), 1) << "registered by other means shows ticked";
  EXPECT_EQ(sheet.State("view>sendto"), 1) << "a shortcut of another name to the program counts";
  sheet.PressOk();
  ASSERT_TRUE(sheet.Closed());

  Value command;
  ASSERT_TRUE(ReadClassValue("Tavro\\Shell\\Open\\Command", nullptr, &command)) << "not removed";
  EXPECT_EQ(command.data, Sz(foreign)) << "not registered again";
  EXPECT_EQ(Shortcuts(), std::vector<std::string>{"Other name.lnk"}) << "no shortcut made, none removed";
  EXPECT_EQ(run.ItemText(kUpperBox), "secret");
  EXPECT_EQ(run.ItemText(kConfirmBox), "secret");
  EXPECT_TRUE(IsWindowVisible(run.Item(kUpperBox)));
  EXPECT_TRUE(IsWindowVisible(run.Item(kConfirmBox)));
  EXPECT_FALSE(IsWindowVisible(run.Item(kSingleBox)));
  EXPECT_EQ(SendMessageA(run.Item(kUpperBox), EM_GETPASSWORDCHAR, 0, 0), '*');
  run.PressEscape();
  EXPECT_TRUE(run.Ended(kWait));
}

TEST_F(SheetTest, PasswordOptionsShowAtOnceAndTheFlagsReachTheRegistryAtExit) {
  WriteDword("PasswordMask", 0);
  TavroRun run(programDir.path());
  ASSERT_TRUE(run.StartAndWait(""));
  run.SetBox(kUpperBox, "abc");
  run.SetBox(kConfirmBox, "abc");
  run.SetBox(kSingleBox, "abc");
  EXPECT_EQ(SendMessageA(run.Item(kUpperBox), EM_GETPASSWORDCHAR, 0, 0), 0);

  Sheet sheet(run, "set_title");
  ASSERT_TRUE(sheet.Open());
  EXPECT_EQ(sheet.State("pass>mask"), 0);
  for (const char* box : {"pass>again", "pass>mask", "security>zero", "security>rand", "security>readonly",
                          "security>verify", "view>autoexit", "pass>hash"}) {
    sheet.Click(box);
  }
  sheet.PressOk();
  ASSERT_TRUE(sheet.Closed());

  // At once: the single box instead of the two, every box masked.
  EXPECT_TRUE(WaitUntil([&] { return IsWindowVisible(run.Item(kSingleBox)) != FALSE; }, 5000));
  EXPECT_FALSE(IsWindowVisible(run.Item(kUpperBox)));
  EXPECT_FALSE(IsWindowVisible(run.Item(kConfirmBox)));
  for (int box : {kSingleBox, kUpperBox, kConfirmBox}) {
    EXPECT_EQ(SendMessageA(run.Item(box), EM_GETPASSWORDCHAR, 0, 0), '*') << box;
    EXPECT_EQ(run.ItemText(box), "abc");
  }
  EXPECT_EQ(run.Focus(), run.Item(kSingleBox)) << "the focus is on the box that shows";
  Screenshot("settings_applied_single_box", run.main());
  run.PressEscape();
  ASSERT_TRUE(run.Ended(kWait));
  ExpectFlags({{"Zero", 0}, {"Rand", 0}, {"WriteReadOnly", 1}, {"AutoExit", 1}, {"Confirm", 0}, {"PasswordMask", 1},
               {"HashCheck", 0}, {"Verify", 0}});
}

TEST_F(SheetTest, FileTypeOnOpensTheProgramTheShellsWayAndOffLeavesNoKey) {
  std::string target = dataDir.Join("letter one.cpy");
  testkit::WriteAll(target, std::string("enciphered, say"));
  TavroRun run(programDir.path());
  ASSERT_TRUE(run.StartAndWait(""));
  Sheet sheet(run, "set_title");
  ASSERT_TRUE(sheet.Open());
  sheet.Click("view>ext");
  sheet.PressOk();
  ASSERT_TRUE(sheet.Closed());

  // Four values in three keys, the keys between created on the way.
  Value v;
  ASSERT_TRUE(ReadClassValue(".cpy", nullptr, &v));
  EXPECT_EQ(v.type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(v.data, Sz("Tavro"));
  ASSERT_TRUE(ReadClassValue(".cpy", "Content Type", &v));
  EXPECT_EQ(v.data, Sz("application/tavro"));
  ASSERT_TRUE(ReadClassValue("Tavro", nullptr, &v));
  EXPECT_EQ(v.data, Sz("link_comment"));
  Value command;
  ASSERT_TRUE(ReadClassValue("Tavro\\Shell\\Open\\Command", nullptr, &command));
  EXPECT_EQ(command.type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(command.data, Sz("\"" + run.programPath() + "\" \"%1\""));

  // The shell's double click: the command with a real path for "%1".
  std::string line = command.data.c_str();
  line.replace(line.find("%1"), 2, target);
  {
    TavroRun opened(programDir.path());
    ASSERT_TRUE(opened.StartCommand(line));
    ASSERT_TRUE(opened.WaitForMain());
    ASSERT_TRUE(WaitUntil([&] { return opened.LogCount() == 2; }));
    EXPECT_EQ(opened.Title(), "Tavro 1.00 - [SelectMode]");
    std::vector<std::string> log = opened.Log();
    EXPECT_EQ(log, (std::vector<std::string>{"Drag : " + target, "Msg: message_drop"})) << Joined(log);
    opened.PressEscape();
    EXPECT_TRUE(opened.Ended(kWait));
  }

  ASSERT_TRUE(sheet.Open());
  EXPECT_EQ(sheet.State("view>ext"), 1);
  sheet.Click("view>ext");
  sheet.PressOk();
  ASSERT_TRUE(sheet.Closed());
  for (const char* key : kFiveKeys) EXPECT_FALSE(ClassKeyExists(key)) << key;
  run.PressEscape();
  EXPECT_TRUE(run.Ended(kWait));
}

TEST_F(SheetTest, AFileTypeRegisteredWhileTheSheetShowedItUntickedIsRemovedAtOk) {
  TavroRun run(programDir.path());
  ASSERT_TRUE(run.StartAndWait(""));
  Sheet sheet(run, "set_title");
  ASSERT_TRUE(sheet.Open());
  EXPECT_EQ(sheet.State("view>ext"), 0);
  RegisterByOtherMeans("\"C:\\elsewhere\\Tavro.exe\" \"%1\"");
  sheet.PressOk();
  ASSERT_TRUE(sheet.Closed());
  for (const char* key : kFiveKeys) EXPECT_FALSE(ClassKeyExists(key)) << key;
  run.PressEscape();
  EXPECT_TRUE(run.Ended(kWait));
}

TEST_F(SheetTest, SendToShortcutStartsTheProgramAndEveryShortcutOfOursGoes) {
  testkit::TempDir elsewhere;
  const std::string sameName = elsewhere.Join("TAVRO.EXE");
  const std::string other = elsewhere.Join("notes.exe");
  testkit::WriteAll(sameName, std::string("MZ another program"));
  testkit::WriteAll(other, std::string("MZ"));
  const std::string file = dataDir.Join("a b.txt");
  testkit::WriteAll(file, std::string("sent"));

  TavroRun run(programDir.path());
  ASSERT_TRUE(run.StartAndWait(""));
  Sheet sheet(run, "set_title");
  ASSERT_TRUE(sheet.Open());
  sheet.Click("view>sendto");
  sheet.PressOk();
  ASSERT_TRUE(sheet.Closed());
  EXPECT_EQ(Shortcuts(), std::vector<std::string>{"link_title.lnk"}) << "named by the text of link_title";
  std::string target;
  ASSERT_TRUE(platform::ReadShellLinkTarget(SendToFolder() + "\\link_title.lnk", &target));
  EXPECT_TRUE(lstrcmpiA(target.c_str(), run.programPath().c_str()) == 0) << target;

  // What Send To does with a file and a folder.
  {
    TavroRun sent(programDir.path());
    ASSERT_TRUE(sent.StartCommand("\"" + target + "\" \"" + file + "\" \"" + dataDir.path() + "\""));
    ASSERT_TRUE(sent.WaitForMain());
    ASSERT_TRUE(WaitUntil([&] { return sent.LogCount() == 3; }));
    std::vector<std::string> log = sent.Log();
    EXPECT_EQ(log, (std::vector<std::string>{"Drag : " + file, "Drag : " + dataDir.path(), "Msg: message_drop"}))
        << Joined(log);
    sent.PressEscape();
    EXPECT_TRUE(sent.Ended(kWait));
  }

  // Another shortcut to a program of the same name (other folder, other case)
  // counts as ours; one to another program does not.
  ASSERT_TRUE(platform::CreateShellLink(SendToFolder() + "\\Copy A.lnk", sameName, ""));
  ASSERT_TRUE(platform::CreateShellLink(SendToFolder() + "\\Unrelated.lnk", other, ""));
  ASSERT_TRUE(sheet.Open());
  EXPECT_EQ(sheet.State("view>sendto"), 1);
  sheet.Click("view>sendto");
  sheet.PressOk();
  ASSERT_TRUE(sheet.Closed());
  EXPECT_EQ(Shortcuts(), std::vector<std::string>{"Unrelated.lnk"});

  // A shortcut that cannot be deleted is reported as a file error naming it.
  const std::string locked = SendToFolder() + "\\Locked.lnk";
  ASSERT_TRUE(platform::CreateShellLink(locked, run.programPath(), ""));
  SetFileAttributesA(locked.c_str(), FILE_ATTRIBUTE_READONLY);
  ASSERT_TRUE(sheet.Open());
  sheet.Click("view>sendto");
  sheet.PressOk();
  HWND report = nullptr;
  ASSERT_TRUE(WaitUntil([&] {
    report = FindDialog(run.processId(), [&](HWND w) { return w != sheet.window() && WindowText(w) == "Tavro"; });
    return report != nullptr;
  }));
  const std::string text = WindowText(GetDlgItem(report, 0xFFFF));
  EXPECT_NE(text.find(locked), std::string::npos) << text;
  Screenshot("settings_shortcut_error", report);
  PostMessageA(report, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  ASSERT_TRUE(sheet.Closed());
  EXPECT_TRUE(testkit::Exists(locked));
  run.PressEscape();
  EXPECT_TRUE(run.Ended(kWait));
}

TEST_F(SheetTest, DuringAJobTheMeterStaysAndTheBoxesChangeWhenItEnds) {
  std::string big = dataDir.Join("big.bin");
  WriteLargeFile(big, 800);
  // Enciphering, two overwrite passes and the read-back of Verify.
  const std::string planned = " " + std::to_string(4ull * 800 * 1024 * 1024) + " byte";
  TavroRun run(programDir.path());
  ASSERT_TRUE(run.StartAndWait("-E -AUTOEXIT -P job " + big));
  run.PressEnter();
  ASSERT_TRUE(WaitUntil([&] { return run.Title().find(" byte") != std::string::npos; }));
  // The job waits while the sheet is used, however fast the disk is.
  HeldThreads pause(run.processId(), GetWindowThreadProcessId(run.main(), nullptr));
  ASSERT_GT(pause.count(), 0u);
  ASSERT_TRUE(run.Running());

  Sheet sheet(run, "set_title");
  ASSERT_TRUE(sheet.Open()) << "the sheet opens while a job runs";
  EXPECT_EQ(sheet.State("view>autoexit"), 1);
  sheet.Click("pass>again");
  sheet.Click("security>zero");
  sheet.PressOk();
  ASSERT_TRUE(sheet.Closed());
  Sleep(500);  // a progress tick or two
  const std::string title = run.Title();
  EXPECT_TRUE(run.Running());
  EXPECT_TRUE(IsWindowVisible(run.Item(kProgress))) << "the running layout keeps its meter";
  EXPECT_FALSE(IsWindowVisible(run.Item(kSingleBox)));
  EXPECT_FALSE(IsWindowVisible(run.Item(kUpperBox)));
  EXPECT_NE(title.find(planned), std::string::npos) << "the job keeps its overwrite passes: " << title;
  Screenshot("settings_during_job", run.main());

  // Open again and keep it open past the end of the job: the automatic exit
  // waits for the sheet, and does not come once it is turned off there.
  ASSERT_TRUE(sheet.Open());
  pause.Release();
  ASSERT_TRUE(run.WaitIdle(120000));
  EXPECT_TRUE(IsWindowVisible(run.Item(kSingleBox))) << "the single box shows at the end of the job";
  EXPECT_FALSE(IsWindowVisible(run.Item(kUpperBox)));
  EXPECT_FALSE(run.Ended(1500)) << "no automatic exit under the open sheet";
  sheet.Click("view>autoexit");
  sheet.PressOk();
  ASSERT_TRUE(sheet.Closed());
  EXPECT_FALSE(run.Ended(1500)) << "automatic exit turned off before it came";
  run.PressEscape();
  ASSERT_TRUE(run.Ended(kWait));
  ExpectFlags({{"Confirm", 0}, {"Zero", 0}, {"AutoExit", 0}});
}

TEST_F(SheetTest, WithTheEnglishTextsTheSheetReadsRight) {
  if (g_languages.empty()) GTEST_SKIP() << "no language files folder given";
  ASSERT_TRUE(CopyFileA((g_languages + "\\english.zen").c_str(), programDir.Join("english.zen").c_str(), FALSE));
  TavroRun run(programDir.path());
  ASSERT_TRUE(run.Start(""));
  HWND chooser = WaitForChooser(run);
  ASSERT_TRUE(chooser);
  HWND list = GetDlgItem(chooser, kLanguageList);
  SendMessageA(list, LB_SETCURSEL, 0, 0);
  PostMessageA(chooser, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  ASSERT_TRUE(run.WaitForMain());

  Sheet sheet(run, "Tavro Settings");
  ASSERT_TRUE(sheet.Open());
  const std::vector<Row> rows = sheet.Rows();
  ASSERT_EQ(rows.size(), 13u);
  EXPECT_EQ(rows[0].label, "Security");
  EXPECT_EQ(rows[1].label, "Overwrite plain files with zeros");
  EXPECT_EQ(rows[4].label, "Read back and check every output");
  EXPECT_EQ(rows[7].label, "Register the .cpy file type");
  EXPECT_EQ(rows[12].label, "Warn when the password differs from the last one");
  EXPECT_EQ(WindowText(GetDlgItem(sheet.window(), IDOK)), "OK");
  sheet.Click("view>autoexit");
  Screenshot("settings_sheet_texts", sheet.window());
  sheet.PressCancel();
  ASSERT_TRUE(sheet.Closed());
  run.PressEscape();
  EXPECT_TRUE(run.Ended(kWait));
}

}  // namespace
