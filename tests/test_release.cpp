// The release archive: exactly the files a viewer needs, and unpacked
// anywhere the program, the play script and the video script run from it.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "harness/harness.h"

namespace fs = std::filesystem;

namespace {

struct Shell {
  int status = -1;
  std::string out;
};

// Runs a shell command in dir, its output and errors together.
Shell sh(const std::string &dir, const std::string &cmd) {
  const std::string meta = makeWorkdir(false);
  writeFile(meta + "/cmd.sh", "cd '" + dir + "' || exit 99\n" + cmd + "\n");
  const int s = std::system(("sh '" + meta + "/cmd.sh' >'" + meta + "/out' 2>&1").c_str());
  Shell r{WIFEXITED(s) ? WEXITSTATUS(s) : -1, readFile(meta + "/out")};
  fs::remove_all(meta);
  return r;
}

}  // namespace

TEST(Release, ArchiveHoldsTheShowAndRunsWhereItIsUnpacked) {
  ensureDisplay();
  const std::string out = makeWorkdir(false), build = fs::path(VY_PROGRAM).parent_path();
  Shell made = sh(VY_SOURCE_DIR, "bash scripts/release.sh -o '" + out + "' '" + build + "'");
  ASSERT_EQ(made.status, 0) << made.out;
  std::string archive;
  for (const auto &e : fs::directory_iterator(out)) archive = e.path().filename();
  const std::string prefix = "vy01-", suffix = "-linux-x86_64.tar.gz";
  ASSERT_EQ(archive.rfind(prefix, 0), 0u) << archive;
  ASSERT_GT(archive.size(), prefix.size() + suffix.size());
  ASSERT_EQ(archive.substr(archive.size() - suffix.size()), suffix) << archive;
  const std::string version = archive.substr(prefix.size(), archive.size() - prefix.size() - suffix.size());
  const std::string top = "vy01-" + version + "-linux-x86_64";

  std::string expected;
  for (const char *f : {"LICENSE", "README.md", "data/fonts/OFL.txt", "data/fonts/crounded.ttf",
                        "data/models/toyplane.mtl", "data/models/toyplane.obj", "data/shader/glsl/bloom.glsl",
                        "data/shader/glsl/gibson_frag.glsl", "data/textures/antenna.tga",
                        "data/textures/commodore.tga", "data/textures/greet.tga", "data/textures/loader.tga",
                        "data/textures/scroller.tga", "data/tune/vy-03.mp3", "licenses/FONT.md", "scripts/lib.sh",
                        "scripts/make-video.sh", "scripts/play.sh", "vy01"})
    expected += top + "/" + f + "\n";
  EXPECT_EQ(sh(out, "tar tzf " + archive + " | grep -v '/$'").out, expected);

  // Unpacked under a name with a space, far from the checkout.
  const std::string dir = out + "/un packed/" + top;
  ASSERT_EQ(sh(out, "mkdir 'un packed' && tar xzf " + archive + " -C 'un packed'").status, 0);
  EXPECT_EQ(sh(dir, "grep -c @VERSION@ README.md").out, "0\n");
  EXPECT_NE(sh(dir, "head -n 1 README.md").out.find(version), std::string::npos);

  Shell run = sh(dir, "./vy01 -r frames.raw -m -s 95:105 -w 160 -h 120");
  EXPECT_EQ(run.status, 0) << run.out;
  EXPECT_NE(run.out.find("\n[dev] vy01 " + version + "\n"), std::string::npos) << run.out;
  EXPECT_EQ(fs::file_size(dir + "/frames.raw"), 10u * 160 * 120 * 3);

  // The scripts find the program and its data from wherever they are called.
  Shell play = sh(out, "sh '" + dir + "/scripts/play.sh' -r played.raw -m -s 95:100 -w 160 -h 120");
  EXPECT_EQ(play.status, 0) << play.out;
  EXPECT_TRUE(readFile(dir + "/played.raw") == readFile(dir + "/frames.raw").substr(0, 5 * 160 * 120 * 3));
  Shell video = sh(out, "bash '" + dir + "/scripts/make-video.sh' -w 160 -h 120 -s 95:100 part.mp4");
  EXPECT_EQ(video.status, 0) << video.out;
  EXPECT_EQ(sh(out, "ffprobe -v error -select_streams v:0 -show_entries stream=nb_frames -of csv=p=0 part.mp4").out,
            "5\n");
  fs::remove_all(out);
}
