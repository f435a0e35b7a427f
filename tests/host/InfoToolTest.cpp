// duv-info as a user runs it, and the loader's reading of the path it is given.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "host/VstHost.h"

namespace {

struct Result {
  int status = -1;  // exit status, -1 when the program did not exit normally
  std::string out, err;
};

std::string Slurp(const std::string& path) {
  std::ifstream f(path);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

// Runs a shell command line, capturing standard output and error apart.
Result RunCommand(const std::string& command) {
  // One file per process: ctest runs the cases of this binary side by side.
  const std::string errPath =
      ::testing::TempDir() + "duv-info-test-" + std::to_string(getpid()) + ".err";
  Result r;
  FILE* pipe = popen((command + " 2>" + errPath).c_str(), "r");
  if (!pipe) return r;
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) r.out.append(buffer, n);
  int raw = pclose(pipe);
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  r.err = Slurp(errPath);
  std::remove(errPath.c_str());
  return r;
}

std::string ModuleFolder() {
  std::string path = DUV_MODULE_PATH;
  return path.substr(0, path.rfind('/'));
}

std::string ModuleFileName() {
  std::string path = DUV_MODULE_PATH;
  return path.substr(path.rfind('/') + 1);
}

TEST(InfoTool, ABareNameIsTheFileInTheCurrentFolder) {
  Result r = RunCommand("cd '" + ModuleFolder() + "' && '" DUV_INFO_PATH "' " + ModuleFileName());
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("\neffect      DUV\n"), std::string::npos) << r.out;
}

TEST(InfoTool, HelpAndUsageErrors) {
  Result help = RunCommand("'" DUV_INFO_PATH "' --help");
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.out.rfind("usage: duv-info [--help] MODULE\n", 0), 0u) << help.out;
  EXPECT_EQ(help.err, "");
  EXPECT_EQ(RunCommand("'" DUV_INFO_PATH "' -h").out, help.out);

  const struct {
    const char* args;
    int status;
    const char* firstErrorLine;
  } kCases[] = {
      {"", 2, "duv-info: no module given\n"},
      {"--bogus", 2, "duv-info: unknown option --bogus\n"},
      {"a.so b.so", 2, "duv-info: one module at a time\n"},
      {"/nonexistent/DUV.so", 1, "duv-info: cannot load /nonexistent/DUV.so: "},
  };
  for (const auto& c : kCases) {
    Result r = RunCommand(std::string("'" DUV_INFO_PATH "' ") + c.args);
    EXPECT_EQ(r.status, c.status) << c.args;
    EXPECT_EQ(r.out, "") << c.args;
    EXPECT_EQ(r.err.rfind(c.firstErrorLine, 0), 0u) << c.args << ": " << r.err;
  }
}

TEST(InfoTool, CodesArePrintedWithTheirNames) {
  Result r = RunCommand("'" DUV_INFO_PATH "' '" DUV_MODULE_PATH "'");
  ASSERT_EQ(r.status, 0) << r.err;
  for (const char* line : {
           "\ncategory    1 (effect)\n",
           "\n  magic          0x56737450 'VstP'\n",
           "\n  uniqueID       0x4455565F 'DUV_'\n",
           "\n  flags          0x1019 (effFlagsHasEditor | effFlagsMonoCapable | "
           "effFlagsCanReplacing | effFlagsCanDoubleReplacing)\n",
           "\n  receiveVstTimeInfo     yes (1)\n",
           "\n  receiveVstMidiEvent    don't know (0)\n",
           "\n  hasVendorExtensions    other (0xBEEF0000)\n",
           "\nstate chunk  96 bytes (program), 96 bytes (bank)\n",
           // Numbered as the manual and duv-render --list number them.
           "\n   1  wet                 0.750",
           "\n  11  detector HPF          100 Hz",
           "\nprograms (number, name)\n   1  Default\n   2  Silky Vocal\n",
           "\n   7  Brindle\n",
       })
    EXPECT_NE(r.out.find(line), std::string::npos) << "missing:" << line << "in:\n" << r.out;
}

TEST(VstModuleLoad, PathsAreFilesNeverLibrarySearches) {
  char saved[4096];
  ASSERT_NE(getcwd(saved, sizeof saved), nullptr);
  ASSERT_EQ(chdir(ModuleFolder().c_str()), 0);
  std::string error;
  auto bare = VstModule::Load(ModuleFileName(), &error);
  EXPECT_TRUE(bare) << error;
  // An empty name must not stand for the running program itself, whose own
  // main would then be taken for the plug-in's entry point.
  auto empty = VstModule::Load("", &error);
  EXPECT_FALSE(empty);
  EXPECT_FALSE(error.empty());
  ASSERT_EQ(chdir(saved), 0);
}

}  // namespace
