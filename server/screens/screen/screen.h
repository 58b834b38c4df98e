// The screen contract: identifiers, the eight lifecycle procedures, the transition `update`
// returns, and the record the screen stack holds.
//
// A screen kind is a state record deriving from ScreenProcs; its virtual members are the kind's
// procedure table. A slot a kind leaves alone keeps the default, which does nothing (an empty
// `update` yields NONE, an empty `render` an empty list). `destroy` is the record's destructor.
#pragma once

#include "server/screens/screen/global_state.h"
#include "server/screens/screen/screen_list.h"
#include "shared/protocol/messages.h"

#include <cstdint>
#include <memory>

namespace cog {

#define COG_SCREEN_ID(id, value, push_name, factory) id = value,
enum class ScreenId : int64_t { COG_SCREEN_LIST(COG_SCREEN_ID) };
#undef COG_SCREEN_ID

#define COG_SCREEN_ONE(id, value, push_name, factory) +1
inline constexpr int SCREEN_ID_COUNT = 0 COG_SCREEN_LIST(COG_SCREEN_ONE);
#undef COG_SCREEN_ONE

// The names of a screen kind: in the log, and for the "push" command (nullptr: not pushable).
struct ScreenNames {
    ScreenId id;
    const char* log_name;  // "LOBBY", ...
    const char* push_name; // "lobby", ...; the value's digit is accepted as well
};

#define COG_SCREEN_NAMES(id, value, push_name, factory) ScreenNames{ScreenId::id, #id, push_name},
inline constexpr ScreenNames SCREEN_NAMES[] = {COG_SCREEN_LIST(COG_SCREEN_NAMES)};
#undef COG_SCREEN_NAMES

const char* screen_id_name(ScreenId id); // "LOBBY", ..., "END"; "UNKNOWN" outside 0..8

enum class TransitionKind : int64_t { NONE = 0, PUSH = 1, POP = 2, POP_TO = 3 };

struct ScreenTransition {
    TransitionKind kind = TransitionKind::NONE;
    ScreenId screen = ScreenId::LOBBY; // meaningful for PUSH and POP_TO only

    static ScreenTransition none() { return {}; }
    static ScreenTransition push(ScreenId id) { return {TransitionKind::PUSH, id}; }
    static ScreenTransition pop() { return {TransitionKind::POP, ScreenId::LOBBY}; }
    static ScreenTransition pop_to(ScreenId id) { return {TransitionKind::POP_TO, id}; }
};

// Base of every screen's state record; the members are the procedure table.
// Calling rules the host keeps:
//  - push: STOP_MUSIC, init, mount, on_player_enter for every seated player (bots too).
//  - uncovered by POP: mount, then on_player_enter for every seated player; by POP_TO: mount only.
//  - on_player_enter may come for an id already known, on_player_leave for an id never seen.
//  - handle_input once per input message, after the snapshot is stored in the player's record.
//  - update once per frame on the top screen; its transition is applied before rendering.
//  - render once per frame per connected human on the top screen; the list is frame-scoped.
class ScreenProcs {
public:
    GlobalState* global = nullptr; // set by init; screens reach shared state only through it

    virtual ~ScreenProcs() = default;
    virtual void init(GlobalState& g) { global = &g; }
    virtual void mount() {}
    virtual void on_player_enter(uint32_t /*id*/) {}
    virtual void on_player_leave(uint32_t /*id*/) {}
    virtual void handle_input(uint32_t /*id*/, const InputState& /*input*/) {}
    virtual ScreenTransition update(float /*dt*/) { return ScreenTransition::none(); }
    // Appends the viewer's picture to `out`, which is empty and allocates from the frame arena.
    virtual void render(uint32_t /*viewer_id*/, DrawList& /*out*/) {}
};

// The record the stack holds.
struct Screen {
    std::unique_ptr<ScreenProcs> data;
    ScreenId id = ScreenId::LOBBY;
    uint64_t instance = 0; // numbers every screen built in a run; set by the stack, never reused
};

// Builds a screen of the given kind with its initial state (init is the stack's to call).
// An identifier outside 0..8 builds a lobby. `random` serves kinds that draw at creation.
Screen create_screen(ScreenId id, Random& random);

} // namespace cog
