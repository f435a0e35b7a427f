// duv-snapshot's command line: help, the shared preset list, the picture's
// file name, and failures that leave nothing behind.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "host/PngWriter.h"
#include "tests/render/RenderSupport.h"

namespace {

RunResult RunProgram(const std::string& tool, const std::string& cwd,
              const std::vector<std::string>& args) {
  std::string script = Quote(tool);
  for (const std::string& a : args) script += " " + Quote(a);
  return RunScript(cwd, script + " </dev/null");
}

}  // namespace

TEST(SnapshotCli, HelpGoesToStdoutAndSucceeds) {
  ScratchDir d;
  for (const char* flag : {"--help", "-h"}) {
    RunResult r = RunProgram(DUV_SNAPSHOT_PATH, d.path(), {flag});
    EXPECT_EQ(r.exitCode, 0) << flag;
    EXPECT_EQ(r.out.rfind("usage: duv-snapshot", 0), 0u) << r.out;
    EXPECT_NE(r.out.find("--list"), std::string::npos) << r.out;
    EXPECT_EQ(r.err, "");
  }
  RunResult r = RunProgram(DUV_SNAPSHOT_PATH, d.path(), {"--bogus"});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_NE(r.err.find("--bogus"), std::string::npos) << r.err;
  EXPECT_TRUE(d.List().empty());
}

// The errors say "see --list"; the list is duv-render's, to the byte.
TEST(SnapshotCli, ListIsTheRenderersList) {
  ScratchDir d;
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"--list"},
        std::vector<std::string>{"--list", "--preset", "5", "--set", "wet=0.5"}}) {
    RunResult snap = RunProgram(DUV_SNAPSHOT_PATH, d.path(), args);
    RunResult render = RunProgram(DUV_RENDER_PATH, d.path(), args);
    ASSERT_EQ(snap.exitCode, 0) << snap.err;
    ASSERT_EQ(render.exitCode, 0) << render.err;
    EXPECT_EQ(snap.out, render.out);
  }
  RunResult r = RunProgram(DUV_SNAPSHOT_PATH, d.path(), {"--list", "--preset", "5"});
  EXPECT_NE(r.out.find(" 5  Wide Snare  (current)"), std::string::npos) << r.out;
  EXPECT_TRUE(d.List().empty());
}

// The picture is PNG, so the name must say .png; anything else is refused.
TEST(SnapshotCli, WritesPngUnderPngNamesOnly) {
  ScratchDir d;
  RunResult r = RunProgram(DUV_SNAPSHOT_PATH, d.path(), {"-o", "Editor.PNG"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(Slurp(d / "Editor.PNG").substr(0, 8), "\x89PNG\r\n\x1a\n");
  std::filesystem::remove(d / "Editor.PNG");
  struct Case {
    std::vector<std::string> args;
    const char* mention;
    int exitCode;
  };
  for (const Case& c : {Case{{"-o", "x.jpg"}, "x.jpg", 2}, Case{{"-o", "picture"}, ".png", 2},
                        Case{{"--preset", "13"}, "see --list", 2},
                        Case{{"--set", "wet=2"}, "out of range", 2},
                        Case{{"--plugin", "/no/such/DUV.so"}, "/no/such/DUV.so", 1}}) {
    SCOPED_TRACE(c.args[1]);
    RunResult f = RunProgram(DUV_SNAPSHOT_PATH, d.path(), c.args);
    EXPECT_EQ(f.exitCode, c.exitCode);
    EXPECT_NE(f.err.find(c.mention), std::string::npos) << f.err;
    EXPECT_EQ(f.out, "");
    EXPECT_TRUE(d.List().empty());
  }
}

// A failed write removes a partial file it made, never what a name points
// at: here a link to the device that is always full stays a link.
TEST(PngWriter, FailureRemovesOnlyRegularFiles) {
  ScratchDir d;
  const std::uint32_t pixels[4] = {0xFF000000u, 0xFFFFFFFFu, 0xFF123456u, 0xFF654321u};
  std::string error;
  ASSERT_TRUE(WritePng(d / "a.png", 2, 2, pixels, true, &error)) << error;
  EXPECT_EQ(Slurp(d / "a.png").substr(0, 4), "\x89PNG");
  std::filesystem::create_symlink("/dev/full", d / "full.png");
  EXPECT_FALSE(WritePng(d / "full.png", 2, 2, pixels, true, &error));
  EXPECT_NE(error.find("full.png"), std::string::npos) << error;
  EXPECT_TRUE(std::filesystem::is_symlink(d / "full.png"));
  EXPECT_EQ(d.List(), (std::vector<std::string>{"a.png", "full.png"}));
}
