// The status panels: the host's running flag, players and stack, and the per-zone frame profile.
#include "server/ui/ui_render.h"

#include "server/profiler/profiler.h"
#include "server/ui/profiler_rows.h"
#include "server/ui/status_view.h"

#include <algorithm>
#include <imgui.h>
#include <string>

namespace cog {

namespace {

// Label and value in a two-column table: the label column is LABEL_WIDTH wide and clips what
// does not fit, so a long label is cut at its column instead of running under the value.
constexpr float LABEL_WIDTH = 80; // px

bool begin_label_rows(const char* id) {
    if (!ImGui::BeginTable(id, 2, ImGuiTableFlags_SizingFixedFit | ImGuiTableFlags_NoPadOuterX)) return false;
    ImGui::TableSetupColumn("label", ImGuiTableColumnFlags_WidthFixed, LABEL_WIDTH);
    ImGui::TableSetupColumn("value", ImGuiTableColumnFlags_WidthStretch);
    return true;
}

void labelled_row(const char* label, const char* format, ...) IM_FMTARGS(2);
void labelled_row(const char* label, const char* format, ...) {
    ImGui::TableNextRow();
    ImGui::TableNextColumn();
    ImGui::TextUnformatted(label);
    ImGui::TableNextColumn();
    va_list args;
    va_start(args, format);
    ImGui::TextV(format, args);
    va_end(args);
}

void server_state_panel(const StatusView& view) {
    ImGui::TextUnformatted("Server State");
    if (begin_label_rows("summary")) {
        labelled_row("Running:", "%s", view.running ? "true" : "false");
        labelled_row("Players:", "%d", static_cast<int>(view.players.size()));
        labelled_row("Screen Stack:", "%d", view.screen_count);
        labelled_row("Commands:", "%s", view.debug_commands);
        if (*view.fleet_state) labelled_row("Fleet:", "%s", view.fleet_state);
        ImGui::EndTable();
    }
    for (const StatusPlayerRow& player : view.players) {
        ImGui::PushID(static_cast<int>(player.id)); // open state follows the player, not the row
        // The part after "###" is the header's identity: it stays the same when the player
        // becomes an admin, so the section keeps its open state.
        char header[48];
        std::snprintf(header, sizeof header, "Player %u%s###player", player.id, player.is_admin ? " (admin)" : "");
        if (ImGui::CollapsingHeader(header, ImGuiTreeNodeFlags_DefaultOpen) && begin_label_rows("player")) {
            labelled_row("Connected:", "%s", player.connected ? "true" : "false");
            labelled_row("Mouse:", "(%.1f, %.1f)", static_cast<double>(player.mouse_x),
                         static_cast<double>(player.mouse_y));
            labelled_row("Pointers:", "%s", player.show_mouse ? "true" : "false");
            ImGui::EndTable();
        }
        ImGui::PopID();
    }
}

void profiler_rows(const Zone& root) {
    for (const ProfilerRowText& row : profiler_row_texts(root)) {
        ImGui::TableNextRow();
        for (const std::string* cell : {&row.category, &row.share, &row.hits, &row.avg_ms, &row.max_ms,
                                        &row.all_time_max_ms}) {
            ImGui::TableNextColumn();
            ImGui::TextUnformatted(cell->c_str());
        }
    }
}

// Returns true when "Reset Profiler" was clicked.
bool profiler_panel(const Profiler& profiler) {
    ImGui::TextUnformatted("Profiler (frame)");
    const bool reset = ImGui::Button("Reset Profiler");
    // The columns have their set widths when the panel is wide enough. Half of a 960 px window
    // is not: then the four number columns narrow to their headers and the category takes what
    // is left, so that the last column is never cut at the window's edge.
    const float widths[] = {150, 70, 40, 70, 70};
    const char* headers[] = {"Category", "% frame", "Hits", "Avg (ms)", "Max (ms)", "All-Time Max (ms)"};
    ImGui::PushStyleVar(ImGuiStyleVar_CellPadding, ImVec2(2, 2));
    const float room = ImGui::GetContentRegionAvail().x - 6 * 2 * 2;
    const bool narrow = 400 + ImGui::CalcTextSize(headers[5]).x > room;
    float column[5];
    float numbers = 0;
    for (int i = 1; i < 5; ++i) {
        column[i] = narrow ? ImGui::CalcTextSize(headers[i]).x : widths[i];
        numbers += column[i];
    }
    column[0] = narrow ? std::max(60.0f, room - numbers - ImGui::CalcTextSize(headers[5]).x) : widths[0];
    const bool table = ImGui::BeginTable("zones", 6, ImGuiTableFlags_SizingFixedFit);
    ImGui::PopStyleVar();
    if (!table) return reset;
    for (int i = 0; i < 5; ++i) ImGui::TableSetupColumn(headers[i], ImGuiTableColumnFlags_WidthFixed, column[i]);
    ImGui::TableSetupColumn(headers[5], ImGuiTableColumnFlags_WidthStretch);
    ImGui::TableHeadersRow();
    const Zone& root = profiler.root();
    profiler_rows(root);
    ImGui::EndTable();
    return reset;
}

} // namespace

UiActions ui_render(UiState& ui, const StatusView& view, int window_width, int window_height) {
    UiActions actions;
    const float half = static_cast<float>(window_width * 5 / 10);
    const ImGuiCond place = ui.laid_out ? ImGuiCond_FirstUseEver : ImGuiCond_Always;
    ui.laid_out = true;
    ImGui::SetNextWindowPos(ImVec2(0, 0), place);
    ImGui::SetNextWindowSize(ImVec2(half, static_cast<float>(window_height)), place);
    if (ImGui::Begin("Server State")) server_state_panel(view);
    ImGui::End();
    ImGui::SetNextWindowPos(ImVec2(half, 0), place);
    ImGui::SetNextWindowSize(ImVec2(half, static_cast<float>(window_height)), place);
    if (ImGui::Begin("Profiler") && view.profiler) actions.reset_profiler = profiler_panel(*view.profiler);
    ImGui::End();
    return actions;
}

} // namespace cog
