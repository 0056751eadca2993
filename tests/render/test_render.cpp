#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "app/gadgets.h"
#include "app/globals.h"
#include "app/hook.h"
#include "app/presenter.h"
#include "minefield/game.h"
#include "minefield/players.h"
#include "platform/gfx.h"
#include "platform/random.h"
#include "render/background.h"
#include "render/board.h"
#include "render/scale.h"
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
    IBlock = Picture(48, 48);
    IBlockRev = Picture(48, 48);
    IFlag = Picture(48, 48);
    IMine = Picture(48, 48);
    SetGraphics(&rec);
    gOptions.oEffects = 0;
    ASSERT_EQ(NewGame(9, 9, 10, 1, 0.0f, 0), 1);
  }
  void TearDown() override {
    SetGraphics(nullptr);
    IBlock = IBlockRev = IFlag = IMine = nullptr;
  }
  static void StartFlashed(int w, int h, int wrap) {
    Wrapping = wrap;
    StartBlocks(w, h);
    StartBoard(gOptions.oEffects != 0);
  }
  void DrawBoard() { DrawBlocks(world.gui.Width(gCan), world.gui.Height(gCan)); }
};

}  // namespace

TEST_F(Render, RevealedLooksFollowThePlayerColour) {
  {
    auto p = TPlayer::Create("p", RGB{0, 100, 255}, 1, nullptr, 0);
    ClickBlock(BlockA(4, 4), 1, nullptr, -1);
    TBlock* mine = nullptr;
    for (TBlock& b : Blocks)
      if (b.Value == -1) mine = &b;
    ClickBlock(mine, 1, p.get(), -1);
    DrawBoard();
    bool sawMine = false;
    for (const auto& o : rec.Of(IMine->GetImage())) {
      sawMine = true;
      EXPECT_EQ(o.r, 0);  // the mine in the player's own colour
      EXPECT_EQ(o.b, 255);
    }
    EXPECT_TRUE(sawMine);
    bool lightened = false;
    for (const auto& o : rec.Of(IBlockRev->GetImage()))
      if (o.r == 150 && o.g == 200 && o.b == 255) lightened = true;  // halfway to white, capped
    EXPECT_TRUE(lightened);
  }
}

TEST_F(Render, OpeningEffectComesFromTheGeneratorAndOnlyOnSmallFields) {
  gOptions.oEffects = 1;
  for (int want : {0, 3, 6}) {
    int seed = 1;
    SeedRnd(seed);
    while (Rand(0, 6) != want) SeedRnd(++seed);
    SeedRnd(seed);
    StartFlashed(10, 9, 1);
    ASSERT_EQ(Flash.effect, want);
    std::set<int> reds;
    for (const BlockFlash& f : Flash.blocks) {
      reds.insert(f.fadecol[0]);
      EXPECT_TRUE(want != 3 || (f.FadeAlpha >= 0.5f && f.FadeAlpha <= 5.0f)) << f.FadeAlpha;
      EXPECT_TRUE(want != 0 || f.FadeAlpha == 1.0f) << f.FadeAlpha;
    }
    EXPECT_EQ(reds.size() > 20, want == 3);  // random colours only for effect 3
    if (want == 6) {
      SeedRnd(seed);
      StartFlashed(2, 1, 0);  // too small for a ramp: no division by zero
      for (const BlockFlash& f : Flash.blocks) EXPECT_EQ(f.FadeAlpha, 0.0f);
    }
  }
  StartFlashed(60, 50, 1);  // exactly 3000 blocks keep their effect
  EXPECT_GE(Flash.effect, 0);
  StartFlashed(61, 50, 1);
  EXPECT_EQ(Flash.effect, -1);
  gOptions.oEffects = 0;
  StartFlashed(5, 5, 1);
  EXPECT_EQ(Flash.effect, -1);
  EXPECT_EQ(Flash.blocks[0].FadeAlpha, 0.0f);
}

TEST_F(Render, TheBlockUnderThePointerFollowsScaleAndPanning) {
  SCALEX = SCALEY = 2.0f;
  gMouseX = framex * SCALEX;  // exactly on the left edge: column 0
  gMouseY = (framey + 24 * 3 + 1) * SCALEY;
  UpdateMouseBlock();
  ASSERT_NE(MouseBlock, nullptr);
  EXPECT_EQ(MouseBlock->x, 0);
  EXPECT_EQ(MouseBlock->y, 3);
  gMouseX = framex * SCALEX - 0.5f;
  UpdateMouseBlock();
  EXPECT_EQ(MouseBlock, nullptr);
  // After panning the hit test finds the block shown there.
  TBlock::MoveBlocks(1, 0);
  gMouseX = (framex + 1) * SCALEX;
  UpdateMouseBlock();
  ASSERT_NE(MouseBlock, nullptr);
  EXPECT_EQ(MouseBlock->id, 8 * 9 + 3);
}

