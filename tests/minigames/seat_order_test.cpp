// Seats dealt at random: the humans' figures land anywhere in every minigame, and every figure is
// labelled with its seat number.
#include "server/screens/metro/metro_state.h"
#include "server/screens/minigame/grid_layout.h"
#include "server/screens/screen/seats.h"
#include "tests/minigames/doors_table.h"

#include <array>
#include <cmath>
#include <functional>
#include <string>

#include <gtest/gtest.h>

namespace cog::test {
namespace {

constexpr int GAMES = 200;
constexpr std::array<uint32_t, 2> HUMANS{HUMAN_ID, OTHER_HUMAN_ID}; // the Overseer 1 is not drawn

// One minigame: where a player's figure stands (0 = first place), and the label a figure shows
// for the viewer HUMAN_ID, checked against its seat.
struct Layout {
    const char* name;
    std::function<std::unique_ptr<ScreenProcs>(Table&)> start;
    std::function<int(ScreenProcs&, uint32_t)> place;
    const char* label_format;
    int labels_at_first; // figures labelled in the first picture but the viewer's (the doors show only their leads)
};

int grid_place(ScreenProcs& screen, uint32_t id) {
    int k = 0, found = -1;
    for_each_figure(static_cast<MinigameScreen&>(screen), [&](const GridFigure& f) {
        if (f.id == id) found = k;
        ++k;
        return false;
    });
    return found;
}

// In the doors a row's workers step up one after another: the lead robot, then the queue as it
// empties, the front taken and the last moved into its place. The lead is always a robot (someone
// has to show the order), so it is no place a human could take: -1.
int doors_place(ScreenProcs& screen, uint32_t id) {
    const auto& doors = static_cast<doors::DoorsState&>(screen);
    const doors::DoorsPlayer& p = doors.players.at(id);
    std::vector<uint32_t> queue = doors.row_queues[static_cast<size_t>(p.row)];
    for (int turn = 1; !queue.empty(); ++turn) {
        if (queue.front() == id) return turn - 1;
        queue.front() = queue.back();
        queue.pop_back();
    }
    return -1;
}

const std::vector<Layout>& layouts() {
    static const std::vector<Layout> all{
        {"typing pool", [](Table& t) -> std::unique_ptr<ScreenProcs> { return t.typewriter(); }, grid_place,
         "Player %u", 8},
        {"password", [](Table& t) -> std::unique_ptr<ScreenProcs> { return t.password(); }, grid_place, "Player %u", 8},
        {"metro",
         [](Table& t) { return std::unique_ptr<ScreenProcs>(t.start<metro::MetroState>(create_metro())); },
         [](ScreenProcs& s, uint32_t id) {
             return static_cast<int>(static_cast<metro::MetroState&>(s).passengers.at(id).slot_index);
         },
         "P%u", 7}, // the car is full: the newcomer does not board
        {"doors",
         [](Table& t) -> std::unique_ptr<ScreenProcs> {
             return t.start<doors::DoorsState>(create_doors(t.world.random));
         },
         doors_place, "P%u", 2},
    };
    return all;
}

TEST(SeatOrder, HumansLandInEveryPlaceAlikeAndFiguresShowTheirSeats) {
    for (const Layout& layout : layouts()) {
        SCOPED_TRACE(layout.name);
        std::array<int, 10> humans_at{}, figures_at{};
        for (int game = 0; game < GAMES; ++game) {
            Table table;
            table.world.random = SeededRandom(static_cast<uint64_t>(game) + 1);
            deal_seats(table.world.global, table.world.random);
            std::unique_ptr<ScreenProcs> screen = layout.start(table);
            for (uint32_t id = HUMAN_ID; id <= 9; ++id) {
                const int place = layout.place(*screen, id);
                ASSERT_LT(place, 10);
                if (place < 0) continue;
                ++figures_at[static_cast<size_t>(place)];
                if (id <= OTHER_HUMAN_ID) ++humans_at[static_cast<size_t>(place)];
            }
            if (game > 0) continue;
            // The first game's picture: every figure but the viewer's own is labelled with its seat,
            // a newcomer with the seat after the last.
            constexpr uint32_t NEWCOMER = 20;
            table.world.add_human(NEWCOMER);
            screen->on_player_enter(NEWCOMER);
            EXPECT_EQ(seat_of(table.world.global, NEWCOMER), 10u);
            run_steps(*screen, 0.05f, 200);
            Frame frame;
            screen->render(HUMAN_ID, frame.list);
            int labels = 0;
            for (uint32_t id : {3u, 4u, 5u, 6u, 7u, 8u, 9u, NEWCOMER}) {
                char label[16];
                std::snprintf(label, sizeof label, layout.label_format, seat_of(table.world.global, id));
                labels += find_text(frame.list, label) != nullptr;
            }
            EXPECT_GE(labels, layout.labels_at_first);
        }
        // In each place where figures stand, humans are as large a share of them as of all the
        // figures, give or take what 200 games allow.
        int humans = 0, figures = 0;
        for (size_t place = 0; place < figures_at.size(); ++place) {
            humans += humans_at[place];
            figures += figures_at[place];
        }
        const double expected = static_cast<double>(humans) / figures;
        for (size_t place = 0; place < figures_at.size(); ++place) {
            if (figures_at[place] < 100) continue;
            const double share = static_cast<double>(humans_at[place]) / figures_at[place];
            EXPECT_NEAR(share, expected, 0.12) << "place " << place;
        }
    }
}

} // namespace
} // namespace cog::test
