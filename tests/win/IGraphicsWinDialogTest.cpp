// The Windows layer's modal dialogs in-process under wine: the OpenURL
// confirmation and error boxes and the shell's "open" verb, the colour
// chooser, and the open and save dialogs. A watcher thread finds each
// dialog this thread shows, reads it and answers it; every wait is bounded.
//
// The shell's "open" verb is observed through a document type of the tests'
// own: its open command (registered in the classes root while a test runs;
// wine does not read the user's own classes) is a batch file copying the
// document to a marker file, so the marker's
// content tells which document was opened. Under wine, without it, a .txt
// document opens in notepad (answer 33), a missing one answers 2 and a type
// without an association 31.
#include "tests/win/WinTestSupport.h"

#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>

namespace {

using namespace wintest;

const char kDocExt[] = ".duvtestdoc";
const char kDocClass[] = "DUVTestDocument";

std::string TempFolder() {
  char path[MAX_PATH] = {};
  GetTempPathA(sizeof path, path);
  std::string folder = std::string(path) + "duv-win-dialogs-" + std::to_string(GetCurrentProcessId()) + "\\";
  CreateDirectoryA(folder.c_str(), nullptr);
  return folder;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

void WriteFile(const std::string& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
}

// The tests' document type, opened by copying it to <folder>opened-<name>.
class StandInOpener {
 public:
  explicit StandInOpener(const std::string& folder) {
    // A batch file as the command (the system runs it with cmd.exe); %~nx1
    // is the document's name and extension.
    const std::string batch = folder + "open-doc.bat";
    WriteFile(batch, "@copy /y \"%~1\" \"" + folder + "opened-%~nx1\" >nul\r\n");
    const std::string command = "\"" + batch + "\" \"%1\"";
    ok = Set(kDocExt, kDocClass) && Set(std::string(kDocClass) + "\\shell\\open\\command", command);
  }
  ~StandInOpener() {
    RegDeleteTreeA(HKEY_CLASSES_ROOT, kDocClass);
    RegDeleteTreeA(HKEY_CLASSES_ROOT, kDocExt);
  }
  bool ok = false;

 private:
  static bool Set(const std::string& key, const std::string& value) {
    HKEY k = nullptr;
    if (RegCreateKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &k, nullptr) !=
        ERROR_SUCCESS)
      return false;
    const LONG r = RegSetValueExA(k, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                  static_cast<DWORD>(value.size() + 1));
    RegCloseKey(k);
    return r == ERROR_SUCCESS;
  }
};

class WinDialogs : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { host = new HostWindow(400, 300, true); }
  static void TearDownTestSuite() {
    delete host;
    host = nullptr;
  }
  void SetUp() override {
    ASSERT_NE(host->get(), nullptr);
    folder = TempFolder();
    plug = std::make_unique<WinTestPlug>();
    gfx = new IGraphicsWin(plug.get(), 300, 200, 24);
    gfx->SetModuleInstance(ThisModule());
    plug->AttachEditor(gfx);
    window = static_cast<HWND>(gfx->OpenWindow(host->get()));
    ASSERT_NE(window, nullptr);
    Pump(100);
  }
  void TearDown() override {
    plug.reset();
    Pump(50);
    // Only files this test made.
    for (const char* name : {"doc.duvtestdoc", "other.duvtestdoc", "opened-doc.duvtestdoc",
                             "opened-other.duvtestdoc", "open-doc.bat", "existing.txt"})
      DeleteFileA((folder + name).c_str());
    RemoveDirectoryA(folder.c_str());
  }
  // Waits (bounded) for the stand-in opener's copy of a document.
  bool Opened(const std::string& name, const std::string& content) {
    const std::string marker = folder + "opened-" + name;
    return PumpUntil([&] { return Exists(marker) && ReadFile(marker) == content; }, 15000);
  }

  static HostWindow* host;
  std::string folder;
  std::unique_ptr<WinTestPlug> plug;
  IGraphicsWin* gfx = nullptr;
  HWND window = nullptr;
};

HostWindow* WinDialogs::host = nullptr;

TEST(WinOpenUrlRule, OnlyWebAddressesNeedAConnection) {
  EXPECT_TRUE(IGraphicsWin::NeedsConnection("https://pelko.audio/duv"));
  EXPECT_TRUE(IGraphicsWin::NeedsConnection("http://example.org"));
  EXPECT_TRUE(IGraphicsWin::NeedsConnection("HTTPS://EXAMPLE.ORG"));
  EXPECT_FALSE(IGraphicsWin::NeedsConnection("C:\\Program Files\\DUV\\DUV manual.pdf"));
  EXPECT_FALSE(IGraphicsWin::NeedsConnection("file:///C:/DUV/manual.pdf"));
  EXPECT_FALSE(IGraphicsWin::NeedsConnection("\\\\server\\share\\manual.pdf"));
  EXPECT_FALSE(IGraphicsWin::NeedsConnection("http:"));  // shorter than the prefix
  EXPECT_FALSE(IGraphicsWin::NeedsConnection("https"));
  EXPECT_FALSE(IGraphicsWin::NeedsConnection(""));
  EXPECT_FALSE(IGraphicsWin::NeedsConnection(nullptr));
}

TEST_F(WinDialogs, OpenUrlAsksAndNoOpensNothing) {
  StandInOpener opener(folder);
  ASSERT_TRUE(opener.ok);
  WriteFile(folder + "doc.duvtestdoc", "first");
  WriteFile(folder + "other.duvtestdoc", "second");
  const HWND root = GetAncestor(window, GA_ROOT);
  std::atomic<bool> hostEnabled{true};
  DialogWatcher watcher(GetCurrentThreadId(), [&](HWND d) {
    hostEnabled = IsWindowEnabled(root) != 0;
    PressButton(d, IDNO);
  });
  EXPECT_FALSE(gfx->OpenURL((folder + "doc.duvtestdoc").c_str(), "Title", "Open it now?", "Unable to open."));
  ASSERT_TRUE(watcher.Join());
  EXPECT_FALSE(watcher.Forced());
  const auto& seen = watcher.Found();
  EXPECT_EQ(seen.caption, "Title");
  EXPECT_EQ(seen.texts, (std::vector<std::string>{"Open it now?"}));
  EXPECT_EQ(seen.buttonIds, (std::vector<int>{IDYES, IDNO}));
  // Modal to the host's window, which holds the editor.
  EXPECT_FALSE(hostEnabled.load());
  EXPECT_TRUE(IsWindowEnabled(root));
  // Without a confirmation the other document opens directly; by then the
  // first one would have been opened too, had No opened it.
  DialogWatcher none(GetCurrentThreadId(), [](HWND d) { PressButton(d, IDCANCEL); });
  EXPECT_TRUE(gfx->OpenURL((folder + "other.duvtestdoc").c_str(), "Title", nullptr, "Unable to open."));
  EXPECT_FALSE(none.Stop()) << "no box without a confirmation text";
  EXPECT_TRUE(Opened("other.duvtestdoc", "second"));
  EXPECT_FALSE(Exists(folder + "opened-doc.duvtestdoc"));
}

TEST_F(WinDialogs, OpenUrlYesOpensTheDocumentWithTheShellsOpenVerb) {
  StandInOpener opener(folder);
  ASSERT_TRUE(opener.ok);
  WriteFile(folder + "doc.duvtestdoc", "the manual");
  DialogWatcher watcher(GetCurrentThreadId(), [](HWND d) { PressButton(d, IDYES); });
  EXPECT_TRUE(gfx->OpenURL((folder + "doc.duvtestdoc").c_str(), "Pelko", "Open the manual?", "Unable to open."));
  ASSERT_TRUE(watcher.Join());
  EXPECT_EQ(watcher.Found().caption, "Pelko");
  EXPECT_TRUE(Opened("doc.duvtestdoc", "the manual"));
}

TEST_F(WinDialogs, OpenUrlShowsTheErrorTextWhenTheShellFails) {
  // A missing document: the shell answers "file not found" (2).
  const std::string missing = folder + "missing.duvtestdoc";
  DialogWatcher watcher(GetCurrentThreadId(), [](HWND d) { PressButton(d, IDOK); });
  EXPECT_FALSE(gfx->OpenURL(missing.c_str(), "Title", nullptr, "Unable to open."));
  ASSERT_TRUE(watcher.Join());
  EXPECT_FALSE(watcher.Forced());
  EXPECT_EQ(watcher.Found().caption, "Title");
  EXPECT_EQ(watcher.Found().texts, (std::vector<std::string>{"Unable to open."}));
  EXPECT_EQ(watcher.Found().buttonIds, (std::vector<int>{IDOK}));
  // Without an error text it fails silently.
  DialogWatcher none(GetCurrentThreadId(), [](HWND d) { PressButton(d, IDOK); });
  EXPECT_FALSE(gfx->OpenURL(missing.c_str(), "Title", nullptr, nullptr));
  EXPECT_FALSE(none.Stop());
  // A type nothing opens (31) fails the same way.
  WriteFile(folder + "existing.txt.duvnothing", "x");
  DialogWatcher again(GetCurrentThreadId(), [](HWND d) { PressButton(d, IDOK); });
  EXPECT_FALSE(gfx->OpenURL((folder + "existing.txt.duvnothing").c_str(), "Title", nullptr, "No program."));
  ASSERT_TRUE(again.Join());
  EXPECT_EQ(again.Found().texts, (std::vector<std::string>{"No program."}));
  DeleteFileA((folder + "existing.txt.duvnothing").c_str());
}

TEST_F(WinDialogs, ColourChooserCancelKeepsTheColourAndOkTakesTheChoice) {
  IColor c{77, 10, 20, 30};
  const HWND root = GetAncestor(window, GA_ROOT);
  std::atomic<bool> hostEnabled{true};
  DialogWatcher cancel(GetCurrentThreadId(), [&](HWND d) {
    hostEnabled = IsWindowEnabled(root) != 0;
    PressButton(d, IDCANCEL);
  });
  EXPECT_FALSE(gfx->PromptForColor(&c, "Pick a colour"));
  ASSERT_TRUE(cancel.Join());
  EXPECT_FALSE(cancel.Forced());
  EXPECT_EQ(cancel.Found().caption, "Pick a colour");
  EXPECT_FALSE(hostEnabled.load()) << "modal to the host's window";
  EXPECT_EQ(c.A, 77);
  EXPECT_EQ(c.R, 10);
  EXPECT_EQ(c.G, 20);
  EXPECT_EQ(c.B, 30);
  // OK after typing red 200 into the dialog's red field (706): R, G, B
  // follow the dialog, alpha stays.
  DialogWatcher ok(GetCurrentThreadId(), [](HWND d) {
    SendMessageA(GetDlgItem(d, 706), WM_SETTEXT, 0, reinterpret_cast<LPARAM>("200"));
    PressButton(d, IDOK);
  });
  EXPECT_TRUE(gfx->PromptForColor(&c, nullptr));
  ASSERT_TRUE(ok.Join());
  EXPECT_EQ(c.A, 77);
  EXPECT_EQ(c.R, 200);
  EXPECT_EQ(c.G, 20);
  EXPECT_EQ(c.B, 30);
}

// The file name field of an open or save dialog.
HWND FileNameField(HWND dialog) {
  HWND found = nullptr;
  EnumChildWindows(
      dialog,
      [](HWND w, LPARAM out) -> BOOL {
        if (ClassOf(w) == "Edit" && IsWindowVisible(w)) {
          *reinterpret_cast<HWND*>(out) = w;
          return FALSE;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&found));
  return found;
}

TEST_F(WinDialogs, OpenAndSaveDialogsAnswerEmptyOnCancelAndThePathOnOk) {
  std::string out = "stale";
  DialogWatcher cancel(GetCurrentThreadId(), [](HWND d) { PressButton(d, IDCANCEL); });
  gfx->PromptForFile(&out, 0, folder.c_str(), "duv");
  ASSERT_TRUE(cancel.Join());
  EXPECT_FALSE(cancel.Forced());
  EXPECT_EQ(out, "");
  out = "stale";
  DialogWatcher cancelSave(GetCurrentThreadId(), [](HWND d) { PressButton(d, IDCANCEL); });
  gfx->PromptForFile(&out, 1, folder.c_str(), "duv");
  ASSERT_TRUE(cancelSave.Join());
  EXPECT_EQ(out, "");

  // Open: an existing file named in full.
  WriteFile(folder + "existing.txt", "x");
  const std::string existing = folder + "existing.txt";
  DialogWatcher open(GetCurrentThreadId(), [existing](HWND d) {
    SendMessageA(FileNameField(d), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(existing.c_str()));
    PressButton(d, IDOK);
  });
  gfx->PromptForFile(&out, 0, folder.c_str(), "txt");
  ASSERT_TRUE(open.Join());
  EXPECT_FALSE(open.Forced());
  EXPECT_EQ(out, existing);

  // Save: a new bare name lands in the given directory.
  DialogWatcher save(GetCurrentThreadId(), [](HWND d) {
    SendMessageA(FileNameField(d), WM_SETTEXT, 0, reinterpret_cast<LPARAM>("new.duvpreset"));
    PressButton(d, IDOK);
  });
  gfx->PromptForFile(&out, 1, folder.c_str(), "duvpreset");
  ASSERT_TRUE(save.Join());
  EXPECT_FALSE(save.Forced());
  EXPECT_EQ(out, folder + "new.duvpreset");
  EXPECT_FALSE(Exists(folder + "new.duvpreset")) << "the dialog only names the file";

  // No directory: the host's folder is the start.
  std::string hostFolder;
  gfx->GetHostDirectory(&hostFolder);
  DialogWatcher hostSave(GetCurrentThreadId(), [](HWND d) {
    SendMessageA(FileNameField(d), WM_SETTEXT, 0, reinterpret_cast<LPARAM>("fresh.duvpreset"));
    PressButton(d, IDOK);
  });
  gfx->PromptForFile(&out, 1, "", "duvpreset");
  ASSERT_TRUE(hostSave.Join());
  EXPECT_EQ(out, hostFolder + "fresh.duvpreset");
}

TEST_F(WinDialogs, WithoutAWindowNothingIsShown) {
  gfx->CloseWindow();
  DialogWatcher none(GetCurrentThreadId(), [](HWND d) { PressButton(d, IDCANCEL); });
  IColor c{255, 1, 2, 3};
  EXPECT_FALSE(gfx->PromptForColor(&c, "x"));
  std::string out = "stale";
  gfx->PromptForFile(&out, 0, folder.c_str(), "");
  EXPECT_EQ(out, "");
  EXPECT_FALSE(none.Stop());
  EXPECT_EQ(c.R, 1);
}

}  // namespace
