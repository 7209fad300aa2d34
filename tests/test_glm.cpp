// OBJ/MTL reader and model drawing.
#include "glm/glm.h"

#include <GL/glut.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "harness/harness.h"

namespace fs = std::filesystem;
using U = std::vector<unsigned>;

// Writes dir/name, making parent directories; returns the path.
std::string put(const std::string &dir, const std::string &name, const std::string &text) {
  std::string p = dir + "/" + name;
  fs::create_directories(fs::path(p).parent_path());
  writeFile(p, text);
  return p;
}

GlmModel *readText(const std::string &dir, const std::string &text) { return glmReadOBJ(put(dir, "m.obj", text).c_str()); }

template <class F>
std::string captureStdout(F body) {
  ::testing::internal::CaptureStdout();
  body();
  fflush(stdout);
  return ::testing::internal::GetCapturedStdout();
}

const char *kSixVertices = "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nv 0 2 0\nv 2 2 0\n";

// Corner indices of every triangle; an empty normal or texcoord list means
// all zeros.
TEST(GlmRead, FacesBecomeFanTriangles) {
  struct Tri {
    U v, n = {}, t = {};
  };
  std::string corners = kSixVertices;
  for (int i = 0; i < 6; ++i) corners += "vn 0 0 1\n";
  for (int i = 0; i < 7; ++i) corners += "vt 0.5 0.25\n";
  const struct {
    const char *name;
    std::string text;
    std::vector<Tri> tris;
  } rows[] = {
      {"quad and pentagon", std::string(kSixVertices) + "f 1 2 3 4\nf 2 3 4 5 6\n",
       {{{1, 2, 3}}, {{1, 3, 4}}, {{2, 3, 4}}, {{2, 4, 5}}, {{2, 5, 6}}}},
      // The reader does not look for the end of the line.
      {"face spanning lines ends at next keyword", std::string(kSixVertices) + "f 1 2\n3 4\ng x\nf 4 5 6",
       {{{1, 2, 3}}, {{1, 3, 4}}, {{4, 5, 6}}}},
      {"the four corner forms", corners + "f 1//4 2//5 3//6\nf 1/7/4 2/6/5 3/5/6 4/4/1\nf 1/2 2/3 3/1\nf 4 5 6\n",
       {{{1, 2, 3}, {4, 5, 6}, {}}, {{1, 2, 3}, {4, 5, 6}, {7, 6, 5}}, {{1, 3, 4}, {4, 6, 1}, {7, 5, 4}},
        {{1, 2, 3}, {}, {2, 3, 1}}, {{4, 5, 6}, {}, {}}}},
  };
  const std::string dir = makeWorkdir(false);
  for (const auto &row : rows) {
    GlmModel *m = readText(dir, row.text);
    ASSERT_EQ(m->trianglecount, row.tris.size()) << row.name;
    for (unsigned i = 0; i < m->trianglecount; ++i) {
      const GlmTriangle &t = m->triangles[i];
      const Tri &w = row.tris[i];
      EXPECT_EQ(U(t.vertexindex, t.vertexindex + 3), w.v) << row.name << " #" << i;
      EXPECT_EQ(U(t.normalindex, t.normalindex + 3), w.n.empty() ? U(3, 0) : w.n) << row.name << " #" << i;
      EXPECT_EQ(U(t.texcoordindex, t.texcoordindex + 3), w.t.empty() ? U(3, 0) : w.t) << row.name << " #" << i;
    }
    glmDelete(m);
  }
  fs::remove_all(dir);
}

TEST(GlmRead, NamesAreReadWholeHoweverLong) {
  const std::string dir = makeWorkdir(false);
  // Names are read whole, however long: no part of one is read as a
  // statement (a tail of v's would be an unknown token, one of "Kd 1 0 0"
  // a colour). A long comment is read on as tokens, which are skipped.
  const std::string name(200, 'v'), longWord(300, 'z');
  put(dir, name + ".mtl", "newmtl " + name + "\nKd 0 1 0\nmap_Kd " + std::string(126, 'x') + " Kd 1 0 0\n");
  GlmModel *m = readText(dir, "mtllib " + name + ".mtl\n" + kSixVertices + "#" + longWord + "\n" + longWord + " 1 2\ng " +
                        name + "\nusemtl " + name + "\nf 1 2 3\n");
  GlmGroup *g = glmFindGroup(m, (" " + name).c_str());
  ASSERT_NE(g, nullptr);
  ASSERT_EQ(g->trianglecount, 1u);
  EXPECT_EQ(g->triangles[0], 0u);
  EXPECT_EQ(m->groupcount, 2u);
  EXPECT_EQ(m->mtllib, name + ".mtl");
  ASSERT_EQ(m->materialcount, 2u);
  EXPECT_EQ(m->materials[1].name, name);
  EXPECT_EQ(g->material, 1u);
  EXPECT_EQ(std::vector<float>(m->materials[1].diffuse, m->materials[1].diffuse + 3), std::vector<float>({0, 1, 0}));
  glmDelete(m);
  fs::remove_all(dir);
}

const char *kLibrary =
    "# materials\n"
    "Kd 0.1 0.2 0.3\n"  // before any newmtl: material 0
    "newmtl red\n"
    "Kd 1 0 0\nKa 0.5 0.25 0.125\nKs 0.75 0.5 0.25\nNs 1000\n"
    "Ke 9 9 9\nillum 2\nmap_Kd red.tga\n"
    "newmtl blue\n"
    "Kd 0 0 1\nNs 0\n"
    "newmtl plain\n"
    "newmtl glass\n"
    "Ns 1000\nNi 1.5\n";

// Defaults where the file says nothing; Ns scaled from 0..1000 to 0..128,
// set by any keyword starting with N (Ni last for glass). usemtl sets the
// group's material, a new group inherits it, an unknown name gives 0.
TEST(GlmMaterials, LibraryDefaultsAndGroupMaterials) {
  const struct {
    const char *name;
    float kd[3], ka[3], ks[3], ns;
  } want[] = {
      {"default", {0.1f, 0.2f, 0.3f}, {0.2f, 0.2f, 0.2f}, {0, 0, 0}, 65},
      {"red", {1, 0, 0}, {0.5f, 0.25f, 0.125f}, {0.75f, 0.5f, 0.25f}, 128},
      {"blue", {0, 0, 1}, {0.2f, 0.2f, 0.2f}, {0, 0, 0}, 0},
      {"plain", {0.8f, 0.8f, 0.8f}, {0.2f, 0.2f, 0.2f}, {0, 0, 0}, 65},
      {"glass", {0.8f, 0.8f, 0.8f}, {0.2f, 0.2f, 0.2f}, {0, 0, 0}, 1.5f / 1000.0f * 128.0f},
  };
  const struct {
    const char *name;
    std::string obj, out;
    std::vector<std::pair<const char *, unsigned>> groups;
  } rows[] = {
      {"usemtl and group lines",
       std::string("mtllib lib.mtl\n") + kSixVertices +
           "g a\nusemtl blue\nf 1 2 3\ng b\nf 1 2 3\ng c\nusemtl red\nusemtl glass\nf 1 2 3\ng a\n",
       "", {{" a", 4}, {" b", 2}, {" c", 4}, {"default", 0}}},
      {"unknown material", "mtllib lib.mtl\nv 0 0 0\ng a\nusemtl red\nusemtl nope\n",
       "glmFindMaterial():  can't find material \"nope\".\n", {{" a", 0}}},
      {"no library, no name", "v 0 0 0\nusemtl x\nusemtl\n",
       "glmFindMaterial():  can't find material \"x\".\nglmFindMaterial():  can't find material \"\".\n",
       {{"default", 0}}},
  };
  const std::string dir = makeWorkdir(false);
  put(dir, "lib.mtl", kLibrary);
  for (const auto &row : rows) {
    GlmModel *m = nullptr;
    EXPECT_EQ(captureStdout([&] { m = readText(dir, row.obj); }), row.out) << row.name;
    for (auto &[group, material] : row.groups) {
      GlmGroup *g = glmFindGroup(m, group);
      ASSERT_NE(g, nullptr) << row.name << " " << group;
      EXPECT_EQ(g->material, material) << row.name << " " << group;
    }
    ASSERT_EQ(m->materialcount, &row == rows + 2 ? 0u : std::size(want)) << row.name;
    for (unsigned k = 0; k < m->materialcount; ++k) {
      const GlmMaterial &got = m->materials[k];
      EXPECT_STREQ(got.name, want[k].name);
      for (int c = 0; c < 4; ++c) {  // alpha is always 1
        EXPECT_FLOAT_EQ(got.diffuse[c], c < 3 ? want[k].kd[c] : 1) << want[k].name << " diffuse " << c;
        EXPECT_FLOAT_EQ(got.ambient[c], c < 3 ? want[k].ka[c] : 1) << want[k].name << " ambient " << c;
        EXPECT_FLOAT_EQ(got.specular[c], c < 3 ? want[k].ks[c] : 1) << want[k].name << " specular " << c;
      }
      EXPECT_FLOAT_EQ(got.shininess, want[k].ns) << want[k].name;
    }
    glmDelete(m);
  }
  fs::remove_all(dir);
}

// Every refusal is handed back with the line and status the program prints
// before it exits (status 1; unknown tokens on standard output), leaves
// nothing behind, and the next read starts clean. Opening the file itself
// is tried through the program with every broken model.
TEST(GlmStream, BadInputIsHandedBackNotExited) {
  const std::string dir = makeWorkdir(false), path = dir + "/models/m.obj";
  put(dir, "models/lib.mtl", "newmtl red\nKd 1 0 0\n");
  auto read = [&](const std::string &text, GlmError *error) {
    FILE *f = fmemopen(const_cast<char *>(text.data()), text.size(), "r");
    GlmModel *m = glmReadOBJStream(f, path.c_str(), error);
    fclose(f);
    return m;
  };
  const std::string head = "v 0 0 0\nv 1 0 0\nv 0 1 0\nvn 0 0 1\nvt 0 0\n";
  const std::string incomplete = "glmReadOBJ() failed: incomplete face in \"" + path + "\".\n";
  auto index = [&](int i) {
    return "glmReadOBJ() failed: face index " + std::to_string(i) + " out of range in \"" + path + "\".\n";
  };
  const struct {
    std::string text, message;
  } rows[] = {
      {"v 0 0 0\nvp 1\n", "glmFirstPass(): Unknown token \"vp\".\n"},  // the one on standard output
      {"mtllib gone.mtl\n", "glmReadMTL() failed: can't open material file \"" + dir + "/models/gone.mtl\".\n"},
      // No name: the library path is the model's directory.
      {"mtllib\nv 0 0 0\n", "glmReadMTL() failed: can't open material file \"" + dir + "/models/\".\n"},
      {head + "f 0 1 2\n", index(0)},
      {head + "f 1 2 -1\n", index(-1)},
      {head + "f 1 2 3 9\n", index(9)},
      {head + "f 1//1 2//2 3//1\n", index(2)},
      {head + "f 1/2 2/1 3/1\n", index(2)},
      {head + "f 1/1/1 2/1/1 3/1/7\n", index(7)},
      {head + "f 1/0/1 2/1/1 3/1/1\n", index(0)},
      {"v 0 0 0\nf 1/1 1/1 1/1\n", index(1)},    // texcoord without texcoords
      {"v 0 0 0\nf 1//1 1//1 1//1\n", index(1)},  // normal without normals
      {head + "f x y z", incomplete},             // first corner does not scan
      {head + "f 1 2", incomplete},               // third corner missing
      {head + "f", incomplete},                   // face at end of file
      {head + "f 1/1 2/1 3/1 1", incomplete},     // a later corner short of numbers
      {head + "f 1/1/1 2/1/1 3/1/1\nv 1 1 1\nf 1 2 3\nf 4/1 2/", incomplete},  // cut at the end
      {head + "format ascii", incomplete},        // any word starting with f is a face
  };
  for (const auto &row : rows) {
    GlmError error;
    EXPECT_EQ(read(row.text, &error), nullptr) << row.text;
    EXPECT_EQ(error.status, 1) << row.text;
    EXPECT_EQ(error.toStdout, &row == rows) << row.text;
    EXPECT_EQ(std::string(error.message), row.message) << row.text;
  }
  GlmError error;
  GlmModel *m = read("mtllib lib.mtl\nv 0 0 0\nusemtl red\nf 1 1 1\n", &error);
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(error.status, 0);
  EXPECT_EQ(m->trianglecount, 1u);
  EXPECT_EQ(m->groups->material, 1u);
  glmDelete(m);
  fs::remove_all(dir);
}

// The program's path prints the line handed back and exits with it.
TEST(GlmDeathTest, RefusalIsPrintedAndExits) {
  const std::string obj = put(makeWorkdir(false), "m.obj", "v 0 0 0\nvp 0.5 0.5\n");
  EXPECT_EXIT(
      {
        fflush(stdout);
        dup2(2, 1);
        glmReadOBJ(obj.c_str());
      },
      ::testing::ExitedWithCode(1), "^glmFirstPass\\(\\): Unknown token \"vp\"\\.\n$");
}

// Drawing is checked through GL feedback: with lighting from +z on a white
// material, each vertex's red level is its normal's z component.
struct FedVertex {
  float x, y, red;
};

// Runs `draw` in feedback mode and returns the triangles it produced.
template <class F>
std::vector<std::vector<FedVertex>> fedTriangles(F draw) {
  std::vector<std::vector<FedVertex>> polys;
  for (const Primitive &p : feedback([&] {
         glPushAttrib(GL_ALL_ATTRIB_BITS);
         glDisable(GL_CULL_FACE);
         glDisable(GL_NORMALIZE);
         glDisable(GL_COLOR_MATERIAL);
         glShadeModel(GL_SMOOTH);
         glEnable(GL_LIGHTING);
         glEnable(GL_LIGHT0);
         const float zero[] = {0, 0, 0, 1}, one[] = {1, 1, 1, 1}, dir[] = {0, 0, 1, 0};
         glLightModelfv(GL_LIGHT_MODEL_AMBIENT, zero);
         for (auto [p, v] : {std::pair{GL_POSITION, dir}, {GL_DIFFUSE, one}, {GL_AMBIENT, zero}, {GL_SPECULAR, zero}})
           glLightfv(GL_LIGHT0, p, v);
         glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, one);
         for (GLenum p : {GL_AMBIENT, GL_SPECULAR, GL_EMISSION}) glMaterialfv(GL_FRONT_AND_BACK, p, zero);
         draw();
         glPopAttrib();
       }, GL_3D_COLOR)) {
    polys.emplace_back();
    for (auto &v : p) polys.back().push_back({v[0], v[1], v[3]});  // x y z r g b a
  }
  return polys;
}

// Window position of object coordinate c.
float win(float c) { return (c + 50.0f) * 10.0f; }

const char *kLitModel =
    "v -0.5 -0.5 0\nv 0.5 -0.5 0\nv 0.5 0.5 0\nv -0.5 0.5 0\n"
    "vn 0 0 1\nvn 0.6 0 0.8\nvn 0.8 0 0.6\nvn 0.96 0 0.28\n"
    "f 1//4 2//4 3//4\n"                // default group, drawn last
    "g wing\nf 1//1 2//2 3//3 4//1\n";  // newest group, drawn first

TEST(GlmDraw, SmoothSendsEachCornersNormalGroupsNewestFirst) {
  const std::string dir = makeWorkdir(false);
  GlmModel *m = readText(dir, kLitModel);
  std::string out;
  auto polys = fedTriangles([&] { out = captureStdout([&] { glmDraw(m, GLM_SMOOTH); }); });
  EXPECT_EQ(out, "");
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
  ASSERT_EQ(polys.size(), 3u);
  const FedVertex want[3][3] = {
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
  fs::remove_all(dir);
}
