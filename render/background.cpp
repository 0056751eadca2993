#include "render/background.h"

#include <cmath>
#include <string>

#include "minefield/block.h"
#include "minefield/game.h"
#include "platform/gfx.h"
#include "platform/random.h"
#include "render/board.h"
#include "render/resources.h"
#include "render/scale.h"

namespace bg {

uint8_t backtype = 1;
std::array<float, 3> backalpha{0, 0, 0};
std::array<int32_t, 3> backalphainc{0, 0, 0};
std::array<int32_t, 3> backcol{1, 1, 1};
std::array<SImageRef, 3> backimg;
bool firstgame = true;

void FitBackground() {
  for (const SImageRef& img : {IBack1, IBack2, IBack3})
    if (img && img->Width() > 0 && img->Height() > 0)
      img->SetScales(DEFWIDTH / float(img->Width()), DEFHEIGHT / float(img->Height()));
  backimg = {IBack1, IBack2, IBack3};
  if (IBackImg) IBackImg->SetScales(DEFWIDTH / 700.0f, DEFHEIGHT / 900.0f);
}

void DrawBackground(uint8_t style, float strength, int cw, int ch) {
  Gfx& g = G();
  g.SetScale(1, 1);
  if (style == 0) {
    for (int i = 0; i < 3; ++i) {
      g.SetBlend(i == 0 ? SOLIDBLEND : LIGHTBLEND);
      if (backalpha[i] > 1.0f) {
        if (i == 0) {
          switch (Rand(1, 3)) {
            case 1: g.SetClsColor(255, 255, 0); break;
            case 2: g.SetClsColor(0, 255, 255); break;
            default: g.SetClsColor(255, 0, 255); break;
          }
        }
        backalphainc[i] = 1 - backalphainc[i];
      }
      if (backalpha[i] < 0.0f) {
        backcol[i] = Rand(1, 3);
        backalphainc[i] = 1 - backalphainc[i];
      }
      backalpha[i] = backalpha[i] + (DeltaTime / 10) * float(2 * backalphainc[i] - 1);
      switch (backcol[i]) {
        case 1: g.SetColor(255, 0, 0); break;
        case 2: g.SetColor(0, 255, 0); break;
        default: g.SetColor(0, 0, 255); break;
      }
      g.SetAlpha(backalpha[i] * strength);
      DrawSImage(backimg[size_t(i)].get(), 0, 0);
    }
    g.SetBlend(ALPHABLEND);
    g.SetAlpha(0.5f * strength);
    g.SetColor(255, 255, 255);
    g.SetScale(1, 1);
    g.SetOrigin(0, 0);
    g.DrawRect(0, 0, float(cw), float(ch));
    g.SetOrigin(OriginX, OriginY);
  } else if (style == 1) {
    g.SetBlend(ALPHABLEND);
    g.SetAlpha(1.0f);
    g.SetColor(255, 255, 255);
    if (IBackImg) {
      g.SetScale(BACKSCALEX * IBackImg->scX, BACKSCALEY * IBackImg->scY);
      g.DrawImage(IBackImg->GetImage(), 0, 0);
    }
    g.SetScale(1, 1);
  } else if (style == 2) {
    g.SetClsColor(255, 255, 255);
  }
}

void Draw(int cw, int ch) {
  Gfx& g = G();
  g.SetScale(1, 1);
  if (GameTime < 1.5f && firstgame) {
    g.Cls();
    DrawBackground(backtype, GameTime, cw, ch);
    g.SetColor(255, 255, 255);
    DrawBlocks(cw, ch);
    g.SetBlend(LIGHTBLEND);
    g.SetAlpha(1.0f - GameTime / 1.5f);
    g.SetColor(255, 255, 255);
    g.DrawRect(0, 0, float(cw), float(ch));
  } else {
    g.Cls();
    DrawBackground(backtype, 1.0f, cw, ch);
    g.SetColor(255, 255, 255);
    DrawBlocks(cw, ch);
  }
  g.Flip(-1);
}

void DrawScore(int w, int h) {
  Gfx& g = G();
  g.Cls();
  g.SetBlend(ALPHABLEND);
  g.SetOrigin(0, 0);
  g.SetImageFont(FArialBold20.get());
  g.SetColor(240, 240, 240);
  g.DrawRect(0, 0, float(w), float(h));
  g.SetAlpha(1.0f);
  g.SetScale(0.4f, 0.4f);
  g.SetColor(255, 255, 255);
  if (ITextBox) {
    g.DrawImage(ITextBox->GetImage(), 10, 0);
    g.DrawImage(ITextBox->GetImage(), float(w - 120), 0);
  }
  if (IMine && IMineImg && IMine->Width() > 0 && IMine->Height() > 0) {
    g.SetScale(24.0f / float(IMine->Width()), 24.0f / float(IMine->Height()));
    g.DrawImage(IMineImg.get(), float(w - 117), 5);
  }
  if (IClock && IClock->Width() > 0 && IClock->Height() > 0) {
    g.SetScale(24.0f / float(IClock->Width()), 24.0f / float(IClock->Height()));
    g.DrawImage(IClock->GetImage(), 13, 5);
  }
  g.SetColor(0, 0, 0);
  g.SetScale(1, 1);
  g.DrawText(std::to_string(int32_t(std::floor(GameTime))), 50, 5);
  const int32_t m = Mines - TBlock::flags;
  if (m < 0) g.SetColor(255, 0, 0);
  g.DrawText(std::to_string(m), float(w - 80), 5);
  g.DrawLine(0, float(h - 2), float(w), float(h - 2));
  g.DrawLine(0, float(h - 1), float(w), float(h - 1));
  g.Flip(-1);
}

}  // namespace bg
