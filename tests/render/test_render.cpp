#include <gtest/gtest.h>

#include <vector>

#include "app/gadgets.h"
#include "app/globals.h"
#include "app/hook.h"
#include "minefield/game.h"
#include "net/players.h"
#include "platform/gfx.h"
#include "render/background.h"
#include "render/board.h"
#include "render/console.h"
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
  test::World world;
  Recorder rec;
  void SetUp() override {
    world.MakeGameGadgets();
    IBlock = Picture(48, 48);
    IBlockRev = Picture(48, 48);
    IFlag = Picture(48, 48);
    IMine = Picture(48, 48);
    SetGraphics(&rec);
    oEffects = 0;
    ASSERT_EQ(StartGame(9, 9, 10, 1, 0.0f, 0), 1);
  }
  void TearDown() override {
    SetGraphics(nullptr);
    IBlock = IBlockRev = IFlag = IMine = nullptr;
  }
};

}  // namespace

TEST_F(Render, RevealedLooksFollowThePlayerColour) {
  {
    auto p = TPlayer::Create("p", RGB{0, 100, 255}, 1, nullptr, 0);
    ClickBlock(BlockA(4, 4), 1, nullptr);
    TBlock* mine = nullptr;
    for (TBlock& b : Blocks)
      if (b.Value == -1) mine = &b;
    ClickBlock(mine, 1, p.get());
    DrawBlocks();
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
