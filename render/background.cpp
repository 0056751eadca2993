#include "render/background.h"

#include <cmath>
#include <string>

#include "platform/gfx.h"
#include "render/board.h"

namespace bg {

void FitBackground(View& v, const Resources& res) {
  const Scale& s = v.scale;
  for (const SImageRef& img : {res.IBack1, res.IBack2, res.IBack3})
    if (img && img->Width() > 0 && img->Height() > 0)
      img->SetScales(s.DEFWIDTH / float(img->Width()), s.DEFHEIGHT / float(img->Height()));
  v.back.backimg = {res.IBack1, res.IBack2, res.IBack3};
  if (res.IBackImg) res.IBackImg->SetScales(s.DEFWIDTH / 700.0f, s.DEFHEIGHT / 900.0f);
}

void StartBackground(View& v, const Resources& res) {
  Background& b = v.back;
  for (float& a : b.backalpha) a = float(v.rng.Rnd(0.0, 1.0));
  for (int32_t& i : b.backalphainc) i = v.rng.Rand(0, 1);
  for (int32_t& c : b.backcol) c = v.rng.Rand(1, 3);
  b.backimg = {res.IBack1, res.IBack2, res.IBack3};
}

void DrawBackground(View& v, const Resources& res, uint8_t style, float strength, int cw, int ch) {
  Gfx& g = G();
  Background& b = v.back;
  const Scale& sc = v.scale;
  g.SetScale(1, 1);
  if (style == 0) {
    for (int i = 0; i < 3; ++i) {
      g.SetBlend(i == 0 ? SOLIDBLEND : LIGHTBLEND);
      if (b.backalpha[i] > 1.0f) {
        if (i == 0) {
          switch (v.rng.Rand(1, 3)) {
            case 1: g.SetClsColor(255, 255, 0); break;
            case 2: g.SetClsColor(0, 255, 255); break;
            default: g.SetClsColor(255, 0, 255); break;
          }
        }
        b.backalphainc[i] = 1 - b.backalphainc[i];
      }
      if (b.backalpha[i] < 0.0f) {
        b.backcol[i] = v.rng.Rand(1, 3);
        b.backalphainc[i] = 1 - b.backalphainc[i];
      }
      b.backalpha[i] = b.backalpha[i] + (v.frameTime / 10) * float(2 * b.backalphainc[i] - 1);
      switch (b.backcol[i]) {
        case 1: g.SetColor(255, 0, 0); break;
        case 2: g.SetColor(0, 255, 0); break;
        default: g.SetColor(0, 0, 255); break;
      }
      g.SetAlpha(b.backalpha[i] * strength);
      DrawSImage(sc, b.backimg[size_t(i)].get(), 0, 0);
    }
    g.SetBlend(ALPHABLEND);
    g.SetAlpha(0.5f * strength);
    g.SetColor(255, 255, 255);
    g.SetScale(1, 1);
    g.SetOrigin(0, 0);
    g.DrawRect(0, 0, float(cw), float(ch));
    g.SetOrigin(sc.OriginX, sc.OriginY);
  } else if (style == 1) {
    g.SetBlend(ALPHABLEND);
    g.SetAlpha(1.0f);
    g.SetColor(255, 255, 255);
    if (res.IBackImg) {
      g.SetScale(sc.BACKSCALEX * res.IBackImg->scX, sc.BACKSCALEY * res.IBackImg->scY);
      g.DrawImage(res.IBackImg->GetImage(), 0, 0);
    }
    g.SetScale(1, 1);
  } else if (style == 2) {
    g.SetClsColor(255, 255, 255);
  }
}

void Draw(const Game& gm, View& v, const Resources& res, int cw, int ch) {
  Gfx& g = G();
  g.SetScale(1, 1);
  if (gm.GameTime < 1.5f && v.back.firstgame) {
    g.Cls();
    DrawBackground(v, res, v.back.backtype, gm.GameTime, cw, ch);
    g.SetColor(255, 255, 255);
    DrawBlocks(gm, v, res, cw, ch);
    g.SetBlend(LIGHTBLEND);
    g.SetAlpha(1.0f - gm.GameTime / 1.5f);
    g.SetColor(255, 255, 255);
    g.DrawRect(0, 0, float(cw), float(ch));
  } else {
    g.Cls();
    DrawBackground(v, res, v.back.backtype, 1.0f, cw, ch);
    g.SetColor(255, 255, 255);
    DrawBlocks(gm, v, res, cw, ch);
  }
  g.Flip(-1);
}

bool Animating(const Game& gm, View& v) {
  if (v.back.backtype == 0) return true;
  if (v.back.firstgame && gm.GameTime < 1.5f && gm.GameStatus != GAME_OVER) return true;
  for (const BlockFlash& f : v.Flash.blocks)
    if (f.FadeAlpha > 0) return true;
  v.Flash.blocks = {};
  return false;
}

void DrawScore(const Game& gm, const Resources& res, int w, int h) {
  Gfx& g = G();
  g.Cls();
  g.SetBlend(ALPHABLEND);
  g.SetOrigin(0, 0);
  g.SetImageFont(res.FArialBold20.get());
  g.SetColor(240, 240, 240);
  g.DrawRect(0, 0, float(w), float(h));
  g.SetAlpha(1.0f);
  g.SetScale(0.4f, 0.4f);
  g.SetColor(255, 255, 255);
  if (res.ITextBox) {
    g.DrawImage(res.ITextBox->GetImage(), 10, 0);
    g.DrawImage(res.ITextBox->GetImage(), float(w - 120), 0);
  }
  if (res.IMine && res.IMineImg && res.IMine->Width() > 0 && res.IMine->Height() > 0) {
    g.SetScale(24.0f / float(res.IMine->Width()), 24.0f / float(res.IMine->Height()));
    g.DrawImage(res.IMineImg.get(), float(w - 117), 5);
  }
  if (res.IClock && res.IClock->Width() > 0 && res.IClock->Height() > 0) {
    g.SetScale(24.0f / float(res.IClock->Width()), 24.0f / float(res.IClock->Height()));
    g.DrawImage(res.IClock->GetImage(), 13, 5);
  }
  g.SetColor(0, 0, 0);
  g.SetScale(1, 1);
  g.DrawText(std::to_string(int32_t(std::floor(gm.GameTime))), 50, 5);
  const int32_t m = gm.Mines - gm.flags;
  if (m < 0) g.SetColor(255, 0, 0);
  g.DrawText(std::to_string(m), float(w - 80), 5);
  g.DrawLine(0, float(h - 2), float(w), float(h - 2));
  g.DrawLine(0, float(h - 1), float(w), float(h - 1));
  g.Flip(-1);
}

}  // namespace bg
