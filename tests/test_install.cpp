// The package script with stand-ins for dpkg-query, apt-cache and apt-get:
// names picked by what apt offers, unknown releases refused, nothing run
// when everything is there.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdlib>
#include <string>

#include "harness/harness.h"

namespace {

// MISSING: packages not installed; OFFERED: packages apt has a candidate for.
const char *kStandIns[][2] = {
    {"dpkg-query", "for p; do :; done\ncase \" $MISSING \" in *\" $p \"*) exit 1 ;; esac\necho 'install ok installed'\n"},
    {"apt-cache", "case \" $OFFERED \" in *\" $2 \"*) echo '  Candidate: 1.0' ;; *) echo '  Candidate: (none)' ;; esac\n"},
    {"apt-get", "echo \"apt-get $*\" >>\"$LOG\"\n"},
};

struct Install {
  int status;
  std::string out, err, apt;
};

Install install(const std::string &release, const std::string &missing, const std::string &offered) {
  const std::string dir = makeWorkdir(false);
  for (auto &s : kStandIns) {
    writeFile(dir + "/" + s[0], std::string("#!/bin/sh\n") + s[1]);
    chmod((dir + "/" + s[0]).c_str(), 0755);
  }
  writeFile(dir + "/os-release", release);
  const std::string cmd = "cd '" + dir + "' && PATH='" + dir + ":/usr/bin:/bin' OS_RELEASE='" + dir +
                          "/os-release' LOG='" + dir + "/apt' MISSING='" + missing + "' OFFERED='" + offered +
                          "' sh '" + VY_SOURCE_DIR + "/scripts/install-deps.sh' >out 2>err";
  const int s = std::system(cmd.c_str());
  Install r{WIFEXITED(s) ? WEXITSTATUS(s) : -1, readFile(dir + "/out"), readFile(dir + "/err"),
            readFile(dir + "/apt")};
  std::system(("rm -rf '" + dir + "'").c_str());
  return r;
}

}  // namespace

TEST(InstallDeps, PicksWhatAptOffersAndRefusesUnknownReleases) {
  const std::string d12 = "ID=debian\nVERSION_ID=\"12\"\n", d13 = "ID=debian\nVERSION_ID=\"13\"\n",
                    other = "ID=ubuntu\nVERSION_ID=\"24.04\"\n";
  const std::string rt13 = "libclang-rt-dev", rt12 = "libclang-rt-14-dev";
  const struct {
    std::string release, missing, offered;
    int status;
    std::string apt, err;
  } rows[] = {
      // Everything there: no apt run, whatever the release.
      {other, "", "", 0, "", ""},
      // One name of a pair is enough.
      {d13, rt12, "", 0, "", ""},
      {d13, rt13 + " " + rt12, rt13 + " " + rt12, 0,
       "apt-get update -qq\napt-get install -y -qq --no-install-recommends libclang-rt-dev\n", ""},
      {d12, "cmake " + rt13 + " " + rt12, rt12, 0,
       "apt-get update -qq\napt-get install -y -qq --no-install-recommends cmake libclang-rt-14-dev\n", ""},
      {d12, rt13 + " " + rt12, "", 1, "apt-get update -qq\n",
       "install-deps.sh: apt offers none of libclang-rt-dev libclang-rt-14-dev\n"},
      {other, "cmake", "cmake", 1, "",
       "install-deps.sh: this is not Debian 12 or 13 (ubuntu:24.04): install the packages it lists by hand\n"},
      {"", "cmake", "cmake", 1, "",
       "install-deps.sh: this is not Debian 12 or 13 (:): install the packages it lists by hand\n"},
  };
  for (const auto &row : rows) {
    const Install r = install(row.release, row.missing, row.offered);
    const std::string what = row.release + " missing " + row.missing;
    EXPECT_EQ(r.status, row.status) << what << r.out << r.err;
    EXPECT_EQ(r.apt, row.apt) << what;
    EXPECT_EQ(r.err, row.err) << what;
  }
}
