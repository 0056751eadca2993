#include "minefield/game.h"

#include "minefield/players.h"
#include "platform/clock.h"

namespace bg {

uint8_t GameStatus = GAME_PLAYING;
int32_t Mines = 13;
uint8_t BombLose = 0;
int32_t rseed = 0;
float GameTime = 0.0f;
int32_t wtime = 0;
float DeltaTime = 0.001f;

float Delta::Time = 0.0f;
int32_t Delta::TimeDelay = 0;

void Delta::Start() { TimeDelay = MilliSecs(); }

void Delta::Update() {
  const int32_t elapsed = MilliSecs() - TimeDelay;
  Time = float(elapsed) * 0.001f;
  TimeDelay = MilliSecs();
  DeltaTime = Time;
}

bool GameSetupValid(int32_t width, int32_t height, int32_t mines) {
  if (width < 1 || height < 1) return false;
  const int64_t n = int64_t(width) * int64_t(height);
  if (n > kMaxBlocks) return false;
  return int64_t(mines) < n - 12;
}

StartOutcome StartGame(int32_t width, int32_t height, int32_t mines, int32_t wrap, float gametime, int32_t bomblose) {
  StartOutcome out;
  if (!GameSetupValid(width, height, mines)) return out;
  out.started = true;
  out.sizeChanged = width != BlockAW || height != BlockAH;

  Wrapping = wrap;
  StartBlocks(width, height);
  Mines = mines;
  BombLose = uint8_t(bomblose);
  wtime = 0;
  GameStatus = GAME_PLAYING;
  GameTime = gametime;
  TBlock::flags = 0;

  for (const PlayerRef& p : Players) {
    p->score = 0;
    p->FindScore();
    p->out = false;
  }
  for (const PlayerRef& p : LeavingPlayers) std::erase(Players, p);
  SortPlayersById(Players);
  for (const PlayerRef& p : SLeavingPlayers) std::erase(SPlayers, p);
  return out;
}

namespace {
void RevealAll() {
  for (TBlock& b : Blocks) b.Reveal(nullptr, false, true);
}

// The end of a game: the time taken, and for a network game every player's score.
void End(ClickOutcome& out, bool won, const TPlayer* player) {
  GameStatus = GAME_OVER;
  out.ended = true;
  out.won = won;
  out.ranked = player != nullptr;
  if (won || player) wtime = int32_t(GameTime);
  if (player)
    for (const PlayerRef& p : Players) p->FindScore();
}
}  // namespace

ClickOutcome ClickBlock(TBlock* block, uint8_t button, TPlayer* player, int32_t seed) {
  ClickOutcome out;
  if (!block) return out;
  if (player && player->out) return out;
  if (button == CLICK_UNCOVER) {
    const bool foreign = player && block->fpid != player->id;
    if (TBlock::NumRevealed() == 0 && (block->flag == 0 || foreign)) MakeMines(block->x, block->y, Mines, seed);
    if (block->flag == 1 && !foreign) return out;
    out.applied = true;
    const bool unflag = !player;
    out.mineHit = block->Revealed == 0 && block->Value == -1;
    if (out.mineHit && BombLose == 1) {
      block->Reveal(player, unflag, true);
      if (player) {
        player->out = true;
        out.knockedOut = true;
      }
      bool anyIn = false;
      for (const PlayerRef& p : Players) anyIn = anyIn || !p->out;
      if (!anyIn) {
        RevealAll();
        End(out, false, player);
      }
    } else if (block->Revealed == 0) {
      block->Reveal(player, unflag, true);
      if (TBlock::CoveredSafe() == 0) {
        RevealAll();
        End(out, true, player);
      }
    }
  } else if (button == CLICK_FLAG) {
    if (!player) {
      block->ToggleFlag(nullptr);
      out.applied = true;
    } else if (block->flag == 0 || block->fpid == player->id) {
      block->ToggleFlag(player);
      out.applied = true;
    }
  }
  return out;
}

void Update() {
  Delta::Update();
  if (GameStatus != GAME_OVER) GameTime += Delta::Time;
}

}  // namespace bg
