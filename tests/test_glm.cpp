// OBJ/MTL reader and model drawing.
#include "glm/glm.h"

#include <GL/glut.h>
#include <gtest/gtest.h>

#include "harness/harness.h"
#include <stdlib.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using ::testing::ExitedWithCode;

namespace {

// A scratch directory per test, removed afterwards.
class TempDir {
 public:
  TempDir() {
    std::string tmpl = (fs::temp_directory_path() / "glmtest-XXXXXX").string();
    if (!mkdtemp(tmpl.data())) ADD_FAILURE() << "mkdtemp failed";
    dir_ = tmpl;
  }
  ~TempDir() {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  std::string path(const std::string &name) const { return dir_ + "/" + name; }
  std::string write(const std::string &name, const std::string &text) const {
    std::string p = path(name);
    fs::create_directories(fs::path(p).parent_path());
    std::ofstream(p, std::ios::binary) << text;
    return p;
  }
  const std::string &dir() const { return dir_; }

 private:
  std::string dir_;
};

// Runs `body` with the working directory set to `dir`.
template <class F>
void inDirectory(const std::string &dir, F body) {
  fs::path old = fs::current_path();
  fs::current_path(dir);
  body();
  fs::current_path(old);
}

std::string regexEscape(const std::string &s) {
  std::string out;
  for (char c : s) {
    if (strchr(".[]{}()\\*+?^$|", c)) out += '\\';
    out += c;
  }
  return out;
}

// Standard output of `body`, which must not exit.
template <class F>
std::string captureStdout(F body) {
  fflush(stdout);
  ::testing::internal::CaptureStdout();
  body();
  fflush(stdout);
  return ::testing::internal::GetCapturedStdout();
}

// For death tests, which only see standard error.
void stdoutToStderr() {
  fflush(stdout);
  dup2(2, 1);
}

std::vector<GlmGroup *> groupList(const GlmModel *m) {
  std::vector<GlmGroup *> out;
  for (GlmGroup *g = m->groups; g; g = g->next) out.push_back(g);
  return out;
}

std::vector<unsigned> groupTriangles(const GlmGroup *g) {
  return std::vector<unsigned>(g->triangles, g->triangles + g->trianglecount);
}

std::vector<unsigned> vtx(const GlmTriangle &t) {
  return {t.vertexindex[0], t.vertexindex[1], t.vertexindex[2]};
}
std::vector<unsigned> nrm(const GlmTriangle &t) {
  return {t.normalindex[0], t.normalindex[1], t.normalindex[2]};
}
std::vector<unsigned> tex(const GlmTriangle &t) {
  return {t.texcoordindex[0], t.texcoordindex[1], t.texcoordindex[2]};
}

using U = std::vector<unsigned>;

const char *kSixVertices =
    "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nv 0 2 0\nv 2 2 0\n";

GlmModel *readText(const TempDir &d, const std::string &text,
                   const std::string &name = "m.obj") {
  return glmReadOBJ(d.write(name, text).c_str());
}

}  // namespace

// ---------------------------------------------------------------- reading

TEST(GlmRead, VerticesAndFacesOnly) {
  TempDir d;
  GlmModel *m = readText(d, "v 1 2 3\nv 4 5 6\nv 7 8 9\nf 1 2 3\n");
  EXPECT_STREQ(m->path, d.path("m.obj").c_str());
  EXPECT_EQ(m->vertexcount, 3u);
  EXPECT_EQ(m->normalcount, 0u);
  EXPECT_EQ(m->texcoordcount, 0u);
  EXPECT_EQ(m->facetnormcount, 0u);
  EXPECT_EQ(m->normals, nullptr);
  EXPECT_EQ(m->texcoords, nullptr);
  EXPECT_EQ(m->facetnorms, nullptr);
  EXPECT_EQ(m->materials, nullptr);
  EXPECT_EQ(m->mtllib, nullptr);
  EXPECT_EQ(m->materialcount, 0u);
  ASSERT_EQ(m->groupcount, 1u);
  EXPECT_STREQ(m->groups->name, "default");
  EXPECT_EQ(m->groups->next, nullptr);
  EXPECT_EQ(groupTriangles(m->groups), U({0}));
  ASSERT_EQ(m->trianglecount, 1u);
  EXPECT_EQ(vtx(m->triangles[0]), U({1, 2, 3}));
  EXPECT_EQ(nrm(m->triangles[0]), U({0, 0, 0}));
  EXPECT_EQ(m->triangles[0].facetnormindex, 0u);
  // Entry 0 holds zeros, the file's vertices follow.
  const float want[] = {0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
  for (int i = 0; i < 12; ++i) EXPECT_EQ(m->vertices[i], want[i]) << i;
  EXPECT_EQ(m->position[0], 0.0f);
  glmDelete(m);
}

TEST(GlmRead, EmptyFileStillHasVerticesArrayAndDefaultGroup) {
  TempDir d;
  GlmModel *m = readText(d, "");
  EXPECT_NE(m->vertices, nullptr);
  EXPECT_EQ(m->trianglecount, 0u);
  ASSERT_EQ(m->groupcount, 1u);
  EXPECT_EQ(m->groups->trianglecount, 0u);
  glmDelete(m);
}

TEST(GlmRead, QuadAndPentagonAreFans) {
  TempDir d;
  GlmModel *m = readText(d, std::string(kSixVertices) +
                                "f 1 2 3 4\nf 2 3 4 5 6\n");
  ASSERT_EQ(m->trianglecount, 5u);
  EXPECT_EQ(vtx(m->triangles[0]), U({1, 2, 3}));
  EXPECT_EQ(vtx(m->triangles[1]), U({1, 3, 4}));
  EXPECT_EQ(vtx(m->triangles[2]), U({2, 3, 4}));
  EXPECT_EQ(vtx(m->triangles[3]), U({2, 4, 5}));
  EXPECT_EQ(vtx(m->triangles[4]), U({2, 5, 6}));
  EXPECT_EQ(groupTriangles(m->groups), U({0, 1, 2, 3, 4}));
  glmDelete(m);
}

TEST(GlmRead, FaceSpanningLinesEndsAtNextKeyword) {
  // The reader does not look for the end of the line.
  TempDir d;
  GlmModel *m = readText(d, std::string(kSixVertices) +
                                "f 1 2\n3 4\ng x\nf 4 5 6");
  ASSERT_EQ(m->trianglecount, 3u);
  EXPECT_EQ(vtx(m->triangles[1]), U({1, 3, 4}));
  EXPECT_EQ(vtx(m->triangles[2]), U({4, 5, 6}));
  EXPECT_EQ(groupTriangles(glmFindGroup(m, " x")), U({2}));
  glmDelete(m);
}

TEST(GlmRead, FourCornerForms) {
  TempDir d;
  std::string text = kSixVertices;
  for (int i = 0; i < 6; ++i) text += "vn 0 0 1\n";
  for (int i = 0; i < 7; ++i) text += "vt 0.5 0.25\n";
  text +=
      "f 1//4 2//5 3//6\n"
      "f 1/7/4 2/6/5 3/5/6 4/4/1\n"
      "f 1/2 2/3 3/1\n"
      "f 4 5 6\n";
  GlmModel *m = readText(d, text);
  EXPECT_EQ(m->normalcount, 6u);
  EXPECT_EQ(m->texcoordcount, 7u);
  ASSERT_EQ(m->trianglecount, 5u);
  const GlmTriangle *t = m->triangles;
  EXPECT_EQ(vtx(t[0]), U({1, 2, 3}));
  EXPECT_EQ(nrm(t[0]), U({4, 5, 6}));
  EXPECT_EQ(tex(t[0]), U({0, 0, 0}));

  EXPECT_EQ(vtx(t[1]), U({1, 2, 3}));
  EXPECT_EQ(tex(t[1]), U({7, 6, 5}));
  EXPECT_EQ(nrm(t[1]), U({4, 5, 6}));
  EXPECT_EQ(vtx(t[2]), U({1, 3, 4}));
  EXPECT_EQ(tex(t[2]), U({7, 5, 4}));
  EXPECT_EQ(nrm(t[2]), U({4, 6, 1}));

  EXPECT_EQ(vtx(t[3]), U({1, 2, 3}));
  EXPECT_EQ(tex(t[3]), U({2, 3, 1}));
  EXPECT_EQ(nrm(t[3]), U({0, 0, 0}));

  EXPECT_EQ(vtx(t[4]), U({4, 5, 6}));
  EXPECT_EQ(tex(t[4]), U({0, 0, 0}));
  EXPECT_EQ(nrm(t[4]), U({0, 0, 0}));
  glmDelete(m);
}

TEST(GlmRead, NormalsAndTexcoordsAreStoredFromEntryOne) {
  TempDir d;
  GlmModel *m = readText(d,
                         "v 0 0 0\nvn 0.5 -1 2e1\nvn 1 2 3\nvt .25 .75\n"
                         "f 1/1/2 1/1/1 1/1/2\n");
  ASSERT_NE(m->normals, nullptr);
  ASSERT_NE(m->texcoords, nullptr);
  const float n[] = {0, 0, 0, 0.5f, -1, 20, 1, 2, 3};
  for (int i = 0; i < 9; ++i) EXPECT_EQ(m->normals[i], n[i]) << i;
  const float t[] = {0, 0, 0.25f, 0.75f};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(m->texcoords[i], t[i]) << i;
  glmDelete(m);
}

TEST(GlmRead, FaceWithoutNormalsInModelWithNormalsGetsIndexZero) {
  TempDir d;
  GlmModel *m = readText(d, "v 1 1 1\nv 2 2 2\nv 3 3 3\nvn 0 1 0\nf 1 2 3\n");
  ASSERT_NE(m->normals, nullptr);
  EXPECT_EQ(nrm(m->triangles[0]), U({0, 0, 0}));
  EXPECT_EQ(tex(m->triangles[0]), U({0, 0, 0}));
  // Entry 0, which such a corner selects, is defined.
  EXPECT_EQ(m->normals[0], 0.0f);
  EXPECT_EQ(m->normals[1], 0.0f);
  EXPECT_EQ(m->normals[2], 0.0f);
  glmDelete(m);
}

TEST(GlmRead, ExtraNumbersOnVertexLinesAreSkipped) {
  TempDir d;
  GlmModel *m = readText(d,
                         "v 1 2 3 1.0\nv 4 5 6 0.5 0.5 0.5\nv 7 8 9\n"
                         "vt 0.5 0.5 0\nf 1/1 2/1 3/1\n");
  EXPECT_EQ(m->vertexcount, 3u);
  EXPECT_EQ(m->vertices[6], 4.0f);
  EXPECT_EQ(m->vertices[9], 7.0f);
  EXPECT_EQ(m->trianglecount, 1u);
  glmDelete(m);
}

TEST(GlmRead, GroupNamesKeepLeadingBlankAndAreReused) {
  TempDir d;
  GlmModel *m = readText(d, std::string(kSixVertices) +
                                "f 1 2 3\n"
                                "g wing\nf 1 2 3\n"
                                "g  wing\nf 2 3 4\n"
                                "g default\nf 3 4 5\n"
                                "g wing\nf 4 5 6\n");
  auto groups = groupList(m);
  ASSERT_EQ(m->groupcount, 4u);
  ASSERT_EQ(groups.size(), 4u);
  // Newest first; the implicit group is always last.
  EXPECT_STREQ(groups[0]->name, " default");
  EXPECT_STREQ(groups[1]->name, "  wing");
  EXPECT_STREQ(groups[2]->name, " wing");
  EXPECT_STREQ(groups[3]->name, "default");
  EXPECT_EQ(groupTriangles(groups[3]), U({0}));
  EXPECT_EQ(groupTriangles(groups[2]), U({1, 4}));
  EXPECT_EQ(groupTriangles(groups[1]), U({2}));
  EXPECT_EQ(groupTriangles(groups[0]), U({3}));
  EXPECT_EQ(glmFindGroup(m, "wing"), nullptr);
  EXPECT_EQ(glmFindGroup(m, " wing"), groups[2]);
  glmDelete(m);
}

TEST(GlmRead, AddGroupCreatesAtHeadOrReuses) {
  GlmModel m{};
  GlmGroup *a = glmAddGroup(&m, "a");
  GlmGroup *b = glmAddGroup(&m, "b");
  EXPECT_EQ(glmAddGroup(&m, "a"), a);
  EXPECT_EQ(m.groupcount, 2u);
  EXPECT_EQ(m.groups, b);
  EXPECT_EQ(b->next, a);
  EXPECT_EQ(a->trianglecount, 0u);
  EXPECT_EQ(a->triangles, nullptr);
  EXPECT_EQ(a->material, 0u);
  EXPECT_EQ(glmFindGroup(&m, "c"), nullptr);
  for (GlmGroup *g : {a, b}) {
    free(g->name);
    free(g);
  }
}

TEST(GlmRead, LongTokensAreReadInPieces) {
  TempDir d;
  std::string longName(300, 'a');
  std::string longWord(300, 'z');
  GlmModel *m = readText(d, std::string(kSixVertices) + "#" + longWord +
                                "\n" + longWord + " 1 2\n" + "g " + longName +
                                "\nf 1 2 3\n");
  // 127 characters go into the buffer; the line feed is not among them, so
  // the last kept character is dropped instead, and the rest of the line is
  // read as tokens of its own.
  std::string expect = " " + std::string(125, 'a');
  GlmGroup *g = glmFindGroup(m, expect.c_str());
  ASSERT_NE(g, nullptr);
  EXPECT_EQ(groupTriangles(g), U({0}));
  EXPECT_EQ(m->groupcount, 2u);
  glmDelete(m);
}

TEST(GlmRead, VerticesAfterLongCommentAreRead) {
  TempDir d;
  GlmModel *m = readText(d, "# " + std::string(200, 'c') +
                                "\nv 1 2 3\nv 1 1 1\nv 2 2 2\nf 1 2 3\n");
  EXPECT_EQ(m->vertexcount, 3u);
  EXPECT_EQ(m->vertices[3], 1.0f);
  glmDelete(m);
}

TEST(GlmRead, DirName) {
  auto dir = [](const char *p) {
    char *s = glmDirName(p);
    std::string r = s;
    free(s);
    return r;
  };
  EXPECT_EQ(dir("data/models/toyplane.obj"), "data/models/");
  EXPECT_EQ(dir("toyplane.obj"), "");
  EXPECT_EQ(dir(""), "");
  EXPECT_EQ(dir("/x.obj"), "/");
  EXPECT_EQ(dir("a/b/"), "a/b/");
  EXPECT_EQ(dir("./a.obj"), "./");
}

TEST(GlmRead, FromOpenStream) {
  const char text[] = "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3 \n";
  FILE *f = fmemopen(const_cast<char *>(text), sizeof text - 1, "r");
  ASSERT_NE(f, nullptr);
  GlmModel *m = glmReadOBJFile(f, "mem.obj");
  fclose(f);
  EXPECT_STREQ(m->path, "mem.obj");
  EXPECT_EQ(m->vertexcount, 3u);
  EXPECT_EQ(m->trianglecount, 1u);
  EXPECT_EQ(m->vertices[6], 1.0f);
  EXPECT_EQ(m->vertices[7], 0.0f);
  glmDelete(m);
}

// ---------------------------------------------------------------- materials

const char *kLibrary =
    "# materials\n"
    "Kd 0.1 0.2 0.3\n"        // before any newmtl: material 0
    "newmtl red\n"
    "Kd 1 0 0\nKa 0.5 0.25 0.125\nKs 0.75 0.5 0.25\nNs 1000\n"
    "Ke 9 9 9\nillum 2\nmap_Kd red.tga\n"
    "newmtl blue\n"
    "Kd 0 0 1\nNs 0\n"
    "newmtl plain\n"
    "newmtl glass\n"
    "Ns 1000\nNi 1.5\n";

TEST(GlmMaterials, LibraryIsReadWithDefaults) {
  TempDir d;
  d.write("lib.mtl", kLibrary);
  GlmModel *m = readText(d, "mtllib lib.mtl\nv 0 0 0\n");
  EXPECT_STREQ(m->mtllib, "lib.mtl");
  ASSERT_EQ(m->materialcount, 5u);
  const GlmMaterial *mat = m->materials;
  EXPECT_STREQ(mat[0].name, "default");
  EXPECT_STREQ(mat[1].name, "red");
  EXPECT_STREQ(mat[2].name, "blue");
  EXPECT_STREQ(mat[3].name, "plain");
  EXPECT_STREQ(mat[4].name, "glass");

  EXPECT_FLOAT_EQ(mat[0].diffuse[0], 0.1f);
  EXPECT_FLOAT_EQ(mat[0].diffuse[2], 0.3f);
  EXPECT_EQ(mat[0].diffuse[3], 1.0f);
  EXPECT_EQ(mat[0].shininess, 65.0f);

  EXPECT_EQ(mat[1].diffuse[0], 1.0f);
  EXPECT_EQ(mat[1].diffuse[1], 0.0f);
  EXPECT_EQ(mat[1].diffuse[3], 1.0f);
  EXPECT_EQ(mat[1].ambient[0], 0.5f);
  EXPECT_EQ(mat[1].ambient[2], 0.125f);
  EXPECT_EQ(mat[1].ambient[3], 1.0f);
  EXPECT_EQ(mat[1].specular[0], 0.75f);
  EXPECT_EQ(mat[1].specular[2], 0.25f);
  EXPECT_EQ(mat[1].specular[3], 1.0f);
  EXPECT_EQ(mat[1].shininess, 128.0f);

  EXPECT_EQ(mat[2].shininess, 0.0f);
  EXPECT_EQ(mat[2].diffuse[2], 1.0f);

  // Defaults where the file says nothing.
  EXPECT_FLOAT_EQ(mat[3].diffuse[0], 0.8f);
  EXPECT_FLOAT_EQ(mat[3].ambient[1], 0.2f);
  EXPECT_EQ(mat[3].specular[0], 0.0f);
  EXPECT_EQ(mat[3].specular[3], 1.0f);
  EXPECT_EQ(mat[3].shininess, 65.0f);

  // Any keyword starting with N sets the shininess; Ni comes last here.
  EXPECT_FLOAT_EQ(mat[4].shininess, 1.5f / 1000.0f * 128.0f);
  glmDelete(m);
}

TEST(GlmMaterials, LibraryWithoutNewmtlHasOnlyDefault) {
  TempDir d;
  d.write("lib.mtl", "Kd 0.5 0.5 0.5\nNs 500\n");
  GlmModel *m = readText(d, "mtllib lib.mtl\n");
  ASSERT_EQ(m->materialcount, 1u);
  EXPECT_STREQ(m->materials[0].name, "default");
  EXPECT_EQ(m->materials[0].diffuse[0], 0.5f);
  EXPECT_EQ(m->materials[0].shininess, 64.0f);
  glmDelete(m);
}

TEST(GlmMaterials, UsemtlAndGroupLinesSetGroupMaterials) {
  TempDir d;
  d.write("lib.mtl", kLibrary);
  GlmModel *m = readText(d, std::string("mtllib lib.mtl\n") + kSixVertices +
                                "g a\nusemtl blue\nf 1 2 3\n"
                                "g b\nf 1 2 3\n"            // inherits blue
                                "g c\nusemtl red\nusemtl glass\nf 1 2 3\n"
                                "g a\n");                   // a: glass now
  EXPECT_EQ(glmFindGroup(m, " a")->material, 4u);
  EXPECT_EQ(glmFindGroup(m, " b")->material, 2u);
  EXPECT_EQ(glmFindGroup(m, " c")->material, 4u);
  EXPECT_EQ(glmFindGroup(m, "default")->material, 0u);
  glmDelete(m);
}

TEST(GlmMaterials, UnknownMaterialIsReportedOnStdoutAndGivesZero) {
  TempDir d;
  d.write("lib.mtl", kLibrary);
  GlmModel *m = nullptr;
  std::string out = captureStdout([&] {
    m = readText(d, "mtllib lib.mtl\nv 0 0 0\ng a\nusemtl red\nusemtl nope\n");
  });
  EXPECT_EQ(out, "glmFindMaterial():  can't find material \"nope\".\n");
  EXPECT_EQ(glmFindGroup(m, " a")->material, 0u);
  EXPECT_EQ(glmFindMaterial(m, "blue"), 2u);
  glmDelete(m);
}

TEST(GlmMaterials, UsemtlWithoutLibraryOrName) {
  TempDir d;
  GlmModel *m = nullptr;
  std::string out =
      captureStdout([&] { m = readText(d, "v 0 0 0\nusemtl x\nusemtl\n"); });
  EXPECT_EQ(out,
            "glmFindMaterial():  can't find material \"x\".\n"
            "glmFindMaterial():  can't find material \"\".\n");
  EXPECT_EQ(m->groups->material, 0u);
  glmDelete(m);
}

TEST(GlmMaterials, EmptyMtllibNameDoesNotCrash) {
  TempDir d;
  GlmModel *m = readText(d, "mtllib\nv 0 0 0\n");
  ASSERT_NE(m->mtllib, nullptr);
  EXPECT_STREQ(m->mtllib, "");
  glmDelete(m);
}

TEST(GlmMaterials, LibraryResolvedAgainstModelDirectory) {
  TempDir d;
  d.write("data/models/plane.obj", "mtllib plane.mtl\nv 0 0 0\n");
  d.write("data/models/plane.mtl", "newmtl body\n");
  inDirectory(d.dir(), [] {
    GlmModel *m = glmReadOBJ("data/models/plane.obj");
    ASSERT_EQ(m->materialcount, 2u);
    EXPECT_STREQ(m->materials[1].name, "body");
    glmDelete(m);
  });
  // A bare file name opens its library from the working directory.
  inDirectory(d.path("data/models"), [] {
    GlmModel *m = glmReadOBJ("plane.obj");
    EXPECT_EQ(m->materialcount, 2u);
    glmDelete(m);
  });
}

// ---------------------------------------------------------------- failures
// Suites named *DeathTest run first, before any GL thread exists.

TEST(GlmDeathTest, MissingObjFile) {
  TempDir d;
  std::string p = d.path("missing.obj");
  EXPECT_EXIT(glmReadOBJ(p.c_str()), ExitedWithCode(1),
              "^glmReadOBJ\\(\\) failed: can't open data file \"" +
                  regexEscape(p) + "\"\\.\n$");
}

TEST(GlmDeathTest, MissingMtlFileNamesQualifiedPath) {
  TempDir d;
  std::string obj = d.write("models/m.obj", "mtllib gone.mtl\n");
  EXPECT_EXIT(glmReadOBJ(obj.c_str()), ExitedWithCode(1),
              "^glmReadMTL\\(\\) failed: can't open material file \"" +
                  regexEscape(d.path("models/gone.mtl")) + "\"\\.\n$");
}

TEST(GlmDeathTest, UnknownVertexTokenOnStdout) {
  TempDir d;
  std::string obj = d.write("m.obj", "v 0 0 0\nvp 0.5 0.5\n");
  EXPECT_EXIT((stdoutToStderr(), glmReadOBJ(obj.c_str())), ExitedWithCode(1),
              "^glmFirstPass\\(\\): Unknown token \"vp\"\\.\n$");
}

TEST(GlmDeathTest, UnknownTokenInsideLongComment) {
  TempDir d;
  std::string obj =
      // One rest-of-line read takes the blank and 126 characters; "vx" is
      // then read as a token of its own.
      d.write("m.obj", "# " + std::string(126, 'c') + " vx\nv 0 0 0\n");
  EXPECT_EXIT((stdoutToStderr(), glmReadOBJ(obj.c_str())), ExitedWithCode(1),
              "glmFirstPass\\(\\): Unknown token \"vx\"\\.\n");
}

TEST(GlmDeathTest, UnknownTokenMessageIsNotOnStderr) {
  TempDir d;
  std::string obj = d.write("m.obj", "vq\n");
  EXPECT_EXIT(glmReadOBJ(obj.c_str()), ExitedWithCode(1), "^$");
}

struct BadFace {
  const char *face;
  int index;
};

class GlmBadIndexDeathTest : public ::testing::TestWithParam<BadFace> {};

TEST_P(GlmBadIndexDeathTest, RefusedWithMessage) {
  TempDir d;
  std::string obj = d.write(
      "m.obj", std::string("v 0 0 0\nv 1 0 0\nv 0 1 0\nvn 0 0 1\nvt 0 0\n") +
                   GetParam().face + "\n");
  EXPECT_EXIT(glmReadOBJ(obj.c_str()), ExitedWithCode(1),
              "^glmReadOBJ\\(\\) failed: face index " +
                  std::to_string(GetParam().index) + " out of range in \"" +
                  regexEscape(obj) + "\"\\.\n$");
}

INSTANTIATE_TEST_SUITE_P(
    Faces, GlmBadIndexDeathTest,
    ::testing::Values(BadFace{"f 0 1 2", 0}, BadFace{"f 1 2 -1", -1},
                      BadFace{"f 1 2 4", 4}, BadFace{"f 1 2 3 9", 9},
                      BadFace{"f 1//1 2//2 3//1", 2},
                      BadFace{"f 1/2 2/1 3/1", 2},
                      BadFace{"f 1/1/1 2/1/1 3/1/7", 7},
                      BadFace{"f 1/0/1 2/1/1 3/1/1", 0},
                      BadFace{"f x y z", 0},   // first corner does not scan
                      BadFace{"f 1 2", 0},     // third corner missing
                      BadFace{"f", 0}));       // face at end of file

TEST(GlmDeathTest, TexcoordIndexWithoutTexcoords) {
  TempDir d;
  std::string obj = d.write("m.obj", "v 0 0 0\nf 1/1 1/1 1/1\n");
  EXPECT_EXIT(glmReadOBJ(obj.c_str()), ExitedWithCode(1),
              "glmReadOBJ\\(\\) failed: face index 1 out of range");
}

TEST(GlmDeathTest, NormalIndexWithoutNormals) {
  TempDir d;
  std::string obj = d.write("m.obj", "v 0 0 0\nf 1//1 1//1 1//1\n");
  EXPECT_EXIT(glmReadOBJ(obj.c_str()), ExitedWithCode(1),
              "glmReadOBJ\\(\\) failed: face index 1 out of range");
}

TEST(GlmDeathTest, DrawPreconditions) {
  EXPECT_DEATH(glmDraw(nullptr, GLM_SMOOTH), "model");
  GlmModel m{};
  EXPECT_DEATH(glmDraw(&m, GLM_SMOOTH), "vertices");
}

// ---------------------------------------------------------------- drawing
// Drawing is checked through GL feedback: with lighting from +z on a white
// material, each vertex's red level is its normal's z component.

namespace {

// The shared harness starts a private Xvfb, so drawing is always tested.
bool haveGlContext() {
  ensureGlContext();
  return true;
}

struct FedVertex {
  float x, y, red;
};

// Runs `draw` in feedback mode and returns the triangles it produced.
template <class F>
std::vector<std::vector<FedVertex>> feedback(F draw) {
  glPushAttrib(GL_ALL_ATTRIB_BITS);
  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glLoadIdentity();
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glLoadIdentity();
  glViewport(0, 0, 100, 100);
  glDisable(GL_CULL_FACE);
  glDisable(GL_NORMALIZE);
  glDisable(GL_COLOR_MATERIAL);
  glShadeModel(GL_SMOOTH);
  glEnable(GL_LIGHTING);
  glEnable(GL_LIGHT0);
  const float zero[] = {0, 0, 0, 1}, one[] = {1, 1, 1, 1}, dir[] = {0, 0, 1, 0};
  glLightModelfv(GL_LIGHT_MODEL_AMBIENT, zero);
  glLightfv(GL_LIGHT0, GL_POSITION, dir);
  glLightfv(GL_LIGHT0, GL_DIFFUSE, one);
  glLightfv(GL_LIGHT0, GL_AMBIENT, zero);
  glLightfv(GL_LIGHT0, GL_SPECULAR, zero);
  glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, one);
  glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, zero);
  glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, zero);
  glMaterialfv(GL_FRONT_AND_BACK, GL_EMISSION, zero);

  std::vector<GLfloat> buf(1 << 16);
  glFeedbackBuffer(static_cast<GLsizei>(buf.size()), GL_3D_COLOR, buf.data());
  glRenderMode(GL_FEEDBACK);
  draw();
  GLint n = glRenderMode(GL_RENDER);

  glMatrixMode(GL_PROJECTION);
  glPopMatrix();
  glMatrixMode(GL_MODELVIEW);
  glPopMatrix();
  glPopAttrib();

  std::vector<std::vector<FedVertex>> polys;
  for (GLint i = 0; i < n;) {
    EXPECT_EQ(buf[i], GL_POLYGON_TOKEN);
    if (buf[i] != GL_POLYGON_TOKEN) break;
    int count = static_cast<int>(buf[i + 1]);
    i += 2;
    std::vector<FedVertex> poly;
    for (int k = 0; k < count; ++k, i += 7)  // x y z r g b a
      poly.push_back({buf[i], buf[i + 1], buf[i + 3]});
    polys.push_back(poly);
  }
  return polys;
}

// Window position of object coordinate c under the identity transform.
float win(float c) { return (c + 1.0f) * 50.0f; }

const char *kLitModel =
    "v -0.5 -0.5 0\nv 0.5 -0.5 0\nv 0.5 0.5 0\nv -0.5 0.5 0\n"
    "vn 0 0 1\nvn 0.6 0 0.8\nvn 0.8 0 0.6\nvn 0.96 0 0.28\n"
    "f 1//4 2//4 3//4\n"               // default group, drawn last
    "g wing\nf 1//1 2//2 3//3 4//1\n";  // newest group, drawn first

}  // namespace

TEST(GlmDraw, SmoothSendsEachCornersNormalGroupsNewestFirst) {
  if (!haveGlContext()) GTEST_SKIP() << "no DISPLAY";
  TempDir d;
  GlmModel *m = readText(d, kLitModel);
  std::string out;
  auto polys = feedback([&] { out = captureStdout([&] { glmDraw(m, GLM_SMOOTH); }); });
  EXPECT_EQ(out, "");
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
  ASSERT_EQ(polys.size(), 3u);
  struct Want {
    float x, y, red;
  };
  const Want want[3][3] = {
      {{-0.5f, -0.5f, 1.0f}, {0.5f, -0.5f, 0.8f}, {0.5f, 0.5f, 0.6f}},
      {{-0.5f, -0.5f, 1.0f}, {0.5f, 0.5f, 0.6f}, {-0.5f, 0.5f, 1.0f}},
      {{-0.5f, -0.5f, 0.28f}, {0.5f, -0.5f, 0.28f}, {0.5f, 0.5f, 0.28f}},
  };
  for (int p = 0; p < 3; ++p) {
    ASSERT_EQ(polys[p].size(), 3u) << p;
    for (int k = 0; k < 3; ++k) {
      EXPECT_NEAR(polys[p][k].x, win(want[p][k].x), 1e-3) << p << "," << k;
      EXPECT_NEAR(polys[p][k].y, win(want[p][k].y), 1e-3) << p << "," << k;
      EXPECT_NEAR(polys[p][k].red, want[p][k].red, 2e-2) << p << "," << k;
    }
  }
  glmDelete(m);
}

TEST(GlmDraw, LeavesLastCornersNormalCurrentAndWorksInDisplayList) {
  if (!haveGlContext()) GTEST_SKIP() << "no DISPLAY";
  TempDir d;
  GlmModel *m = readText(d, kLitModel);
  GLuint list = glGenLists(1);
  glNewList(list, GL_COMPILE);
  glmDraw(m, GLM_SMOOTH);
  glEndList();
  auto polys = feedback([&] { glCallList(list); });
  EXPECT_EQ(polys.size(), 3u);
  glNormal3f(0, 1, 0);
  glmDraw(m, GLM_SMOOTH);  // into the back buffer; only the state matters
  GLfloat n[3];
  glGetFloatv(GL_CURRENT_NORMAL, n);
  EXPECT_NEAR(n[0], 0.96f, 1e-6);
  EXPECT_NEAR(n[2], 0.28f, 1e-6);
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
  glDeleteLists(list, 1);
  glmDelete(m);
}

TEST(GlmDraw, WithoutSmoothNoNormalIsSent) {
  if (!haveGlContext()) GTEST_SKIP() << "no DISPLAY";
  TempDir d;
  GlmModel *m = readText(d, kLitModel);
  glNormal3f(0, 0.8f, 0.6f);
  auto polys = feedback([&] {
    glNormal3f(0, 0.8f, 0.6f);
    glmDraw(m, GLM_NONE);
  });
  ASSERT_EQ(polys.size(), 3u);
  for (auto &p : polys)
    for (auto &v : p) EXPECT_NEAR(v.red, 0.6f, 2e-2);
  glmDelete(m);
}

TEST(GlmDraw, NoNormalsWarnsAndDrawsPositionsOnly) {
  if (!haveGlContext()) GTEST_SKIP() << "no DISPLAY";
  TempDir d;
  GlmModel *m = readText(d, "v -0.5 -0.5 0\nv 0.5 -0.5 0\nv 0 0.5 0\nf 1 2 3\n");
  std::string out;
  auto polys = feedback([&] {
    glNormal3f(0.8f, 0, 0.6f);
    out = captureStdout([&] { glmDraw(m, GLM_SMOOTH); });
  });
  EXPECT_EQ(out,
            "glmDraw() warning: smooth render mode requested with no normals "
            "defined.\n");
  ASSERT_EQ(polys.size(), 1u);
  ASSERT_EQ(polys[0].size(), 3u);
  EXPECT_NEAR(polys[0][2].x, win(0.0f), 1e-3);
  EXPECT_NEAR(polys[0][2].y, win(0.5f), 1e-3);
  for (auto &v : polys[0]) EXPECT_NEAR(v.red, 0.6f, 2e-2);
  glmDelete(m);
}

TEST(GlmDraw, FaceWithoutNormalIndexSendsZeroNormal) {
  if (!haveGlContext()) GTEST_SKIP() << "no DISPLAY";
  TempDir d;
  GlmModel *m = readText(
      d, "v -0.5 -0.5 0\nv 0.5 -0.5 0\nv 0 0.5 0\nvn 0 0 1\nf 1 2 3\n");
  auto polys = feedback([&] { glmDraw(m, GLM_SMOOTH); });
  ASSERT_EQ(polys.size(), 1u);
  for (auto &v : polys[0]) EXPECT_NEAR(v.red, 0.0f, 2e-2);
  glmDelete(m);
}

TEST(GlmDraw, EmptyDefaultGroupAfterFullGroup) {
  if (!haveGlContext()) GTEST_SKIP() << "no DISPLAY";
  TempDir d;
  std::string text = "v -0.5 -0.5 0\nv 0.5 -0.5 0\nv 0 0.5 0\ng body\n";
  for (int i = 0; i < 10; ++i) text += "f 1 2 3\n";
  GlmModel *m = readText(d, text);
  ASSERT_EQ(m->groupcount, 2u);
  EXPECT_EQ(m->groups->trianglecount, 10u);
  EXPECT_EQ(m->groups->next->trianglecount, 0u);
  std::vector<std::vector<FedVertex>> polys;
  captureStdout([&] { polys = feedback([&] { glmDraw(m, GLM_SMOOTH); }); });
  EXPECT_EQ(polys.size(), 10u);
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
  glmDelete(m);
}

TEST(GlmDraw, ModelWithoutFacesDrawsNothing) {
  if (!haveGlContext()) GTEST_SKIP() << "no DISPLAY";
  TempDir d;
  GlmModel *m = readText(d, "v 0 0 0\n");
  std::vector<std::vector<FedVertex>> polys;
  captureStdout([&] { polys = feedback([&] { glmDraw(m, GLM_SMOOTH); }); });
  EXPECT_TRUE(polys.empty());
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
  glmDelete(m);
}
