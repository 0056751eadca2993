#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <vector>

#include "app/gadgets.h"
#include "app/globals.h"
#include "app/hook.h"
#include "app/presenter.h"
#include "minefield/game.h"
#include "platform/gfx.h"
#include "platform/random.h"
#include "render/background.h"
#include "render/board.h"
#include "render/simage.h"
#include "tests/support/world.h"

using namespace bg;

namespace {

// Records what would reach the screen, with the state it was drawn in.
struct Recorder : NullGfx {
  struct Op {
    char kind;  // 'i' image, 'r' rect, 't' text, 'l' line
    const void* what;
    float x, y, sx, sy, alpha;
    int r, g, b, blend, mode;
  };
  std::vector<Op> ops;
  void Rec(char k, const void* w, float x, float y) {
    ops.push_back({k, w, x + ox_, y + oy_, sx_, sy_, alpha_, r_, g_, b_, blend_, polygonMode});
  }
  void DrawImage(Image* img, float x, float y) override { Rec('i', img, x, y); }
  void DrawRect(float x, float y, float, float) override { Rec('r', nullptr, x, y); }
  void DrawText(const std::string&, float x, float y) override { Rec('t', nullptr, x, y); }
  void DrawLine(float x, float y, float, float) override { Rec('l', nullptr, x, y); }
  std::vector<Op> Of(const Image* img) const {
    std::vector<Op> out;
    for (const Op& o : ops)
      if (o.what == img) out.push_back(o);
    return out;
  }
};

SImageRef Picture(int w, int h) {
  auto img = std::make_shared<Image>();
  img->width = w;
  img->height = h;
  return TSImage::Create(img, 1, 1);
}

struct Render : ::testing::Test {
  test::TempDir dir;
  test::World world;
  Recorder rec;
  void SetUp() override {
    ASSERT_TRUE(world.Start());
    gRes.IBlock = Picture(48, 48);
    gRes.IBlockRev = Picture(48, 48);
    gRes.IFlag = Picture(48, 48);
    gRes.IMine = Picture(48, 48);
    SetGraphics(&rec);
    gOptions.oEffects = 0;
    ASSERT_TRUE(NewGame(9, 9, 10, 1, 0.0f, 0));
  }
  void TearDown() override { SetGraphics(nullptr); }
  static void StartFlashed(int w, int h, int wrap) {
    StartGame(gGame, w, h, 0, wrap, 0.0f, 0, 1);
    StartBoard(gGame, gView, gRes, gOptions.oEffects != 0);
  }
  void DrawBoard() { DrawBlocks(gGame, gView, gRes, world.gui.Width(gCan), world.gui.Height(gCan)); }
};

}  // namespace

// Marks take their player's colour, as does the uncovered block under them (halfway to white, capped);
// numbers have colours of their own.
TEST_F(Render, MarksFollowThePlayerColourAndNumbersTheirOwn) {
  AddPlayer(gGame, "p", RGB{0, 100, 255}, 1);
  ClickBlock(gGame, 40, CLICK_UNCOVER, nullptr);
  const std::vector<int> mines = test::MineIds(gGame);
  Apply(gGame, Move{mines[0], CLICK_UNCOVER, 1});
  Apply(gGame, Move{mines[1], CLICK_FLAG, 1});
  DrawBoard();
  const auto drawn = [this](const SImageRef& img, RGB c) {  // images of img (texts for none) in colour c
    return std::count_if(rec.ops.begin(), rec.ops.end(), [&](const Recorder::Op& o) {
      const bool what = img ? o.kind == 'i' && o.what == img->GetImage() : o.kind == 't';
      return what && o.r == c[0] && o.g == c[1] && o.b == c[2];
    });
  };
  EXPECT_EQ(drawn(gRes.IMine, {0, 100, 255}), 1);
  EXPECT_EQ(drawn(gRes.IFlag, {0, 100, 255}), 1);
  EXPECT_GE(drawn(gRes.IBlockRev, {150, 200, 255}), 1);
  EXPECT_GE(drawn(nullptr, {90, 90, 200}), 1);  // the texts: numbers, a 1 among them
  EXPECT_EQ(drawn(nullptr, {0, 0, 0}), 0);
}

TEST_F(Render, OpeningEffectComesFromTheViewsGeneratorAndOnlyOnSmallFields) {
  gOptions.oEffects = 1;
  for (int want : {0, 3, 6}) {
    int seed = 1;
    while (Rng(seed).Rand(0, 6) != want) ++seed;
    gView.rng.Seed(seed);
    SeedRnd(seed + 1);  // the cosmetic generator is not the view's
    StartFlashed(10, 9, 1);
    ASSERT_EQ(gView.Flash.effect, want);
    std::set<int> reds;
    for (const BlockFlash& f : gView.Flash.blocks) {
      reds.insert(f.fadecol[0]);
      EXPECT_TRUE(want != 3 || (f.FadeAlpha >= 0.5f && f.FadeAlpha <= 5.0f)) << f.FadeAlpha;
      EXPECT_TRUE(want != 0 || f.FadeAlpha == 1.0f) << f.FadeAlpha;
    }
    EXPECT_EQ(reds.size() > 20, want == 3);  // random colours only for effect 3
    if (want == 6) {
      gView.rng.Seed(seed);
      gGame = test::Field(2, 1, 0);  // too small for a ramp: no division by zero
      StartBoard(gGame, gView, gRes, true);
      for (const BlockFlash& f : gView.Flash.blocks) EXPECT_EQ(f.FadeAlpha, 0.0f);
    }
  }
  StartFlashed(60, 50, 1);  // exactly 3000 blocks keep their effect
  EXPECT_GE(gView.Flash.effect, 0);
  StartFlashed(61, 50, 1);
  EXPECT_EQ(gView.Flash.effect, -1);
  gOptions.oEffects = 0;
  StartFlashed(5, 5, 1);
  EXPECT_EQ(gView.Flash.effect, -1);
  EXPECT_TRUE(gView.Flash.blocks.empty());  // and no block keeps flash state
}

// Panning moves only where blocks are drawn (the game stays, see the arrow keys); the pointer finds the block shown.
TEST_F(Render, TheBlockUnderThePointerFollowsScaleAndPanning) {
  View& v = gView;
  v.scale.SCALEX = v.scale.SCALEY = 2.0f;
  v.gMouseX = v.framex * 2;  // exactly on the left edge: column 0
  v.gMouseY = (v.framey + 24 * 3 + 1) * 2;
  UpdateMouseBlock(gGame, v);
  EXPECT_EQ(v.MouseBlock, 3);
  v.gMouseX = v.framex * 2 - 0.5f;
  UpdateMouseBlock(gGame, v);
  EXPECT_EQ(v.MouseBlock, -1);
  Pan(gGame, v, 1, 0);
  EXPECT_EQ(DrawX(gGame, v, 0), 24.0f);
  EXPECT_EQ(DrawX(gGame, v, 8 * 9), 0.0f);  // round the edge
  v.gMouseX = (v.framex + 1) * 2;
  UpdateMouseBlock(gGame, v);
  EXPECT_EQ(v.MouseBlock, 8 * 9 + 3);  // the block shown there
  Pan(gGame, v, 0, -1);
  EXPECT_EQ(DrawY(gGame, v, 0), 8 * 24.0f);
  UpdateMouseBlock(gGame, v);
  EXPECT_EQ(v.MouseBlock, 8 * 9 + 4);
  for (int i = 0; i < 8; ++i) Pan(gGame, v, 1, 0);
  EXPECT_EQ(DrawX(gGame, v, 0), 0.0f);  // nine steps: round the torus
  const int flagged = 3 * 9 + 5;
  ToggleFlag(gGame, flagged, nullptr);
  v.scale.SCALEX = v.scale.SCALEY = 1.0f;
  DrawBoard();  // the flag is drawn where its block is shown
  const auto flags = rec.Of(gRes.IFlag->GetImage());
  ASSERT_EQ(flags.size(), 1u);
  EXPECT_EQ(flags[0].x, v.framex + float(gGame.X(flagged) * 24));
  EXPECT_EQ(flags[0].y, v.framey + float((gGame.Y(flagged) + 8) % 9 * 24));
}

// The mines-left count, and the border under it, turn red only below zero.
TEST_F(Render, MinesLeftTurnRedOnlyWhenNegative) {
  for (int id = 0; id <= gGame.Mines; ++id) {
    ToggleFlag(gGame, id, nullptr);
    rec.ops.clear();
    DrawScore(gGame, gRes, 200, 40);
    const int red = gGame.Mines - gGame.flags < 0 ? 255 : 0;
    EXPECT_EQ(std::count_if(rec.ops.begin(), rec.ops.end(), [red](const Recorder::Op& o) {
                return ((o.kind == 't' && o.x == 120) || o.kind == 'l') && o.r == red && o.g == 0 && o.b == 0;
              }), 3) << gGame.flags << " flags";
  }
}
