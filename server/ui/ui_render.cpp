// The status panels: the host's running flag, players and stack, and the per-zone frame profile.
#include "server/ui/ui_render.h"

#include "server/profiler/profiler.h"
#include "server/ui/status_view.h"

#include <imgui.h>
#include <string>

namespace cog {

namespace {

void labelled_row(const char* label, const char* format, ...) IM_FMTARGS(2);
void labelled_row(const char* label, const char* format, ...) {
    ImGui::TextUnformatted(label);
    ImGui::SameLine(80);
    va_list args;
    va_start(args, format);
    ImGui::TextV(format, args);
    va_end(args);
}

void server_state_panel(const StatusView& view) {
    ImGui::TextUnformatted("Server State");
    labelled_row("Running:", "%s", view.running ? "true" : "false");
    labelled_row("Players:", "%d", static_cast<int>(view.players.size()));
    labelled_row("Screen Stack:", "%d", view.screen_count);
    for (const StatusPlayerRow& player : view.players) {
        const uint32_t id = player.id;
        ImGui::PushID(static_cast<int>(id)); // open state follows the player, not the row
        char header[32];
        std::snprintf(header, sizeof header, "Player %u", id);
        if (ImGui::CollapsingHeader(header, ImGuiTreeNodeFlags_DefaultOpen)) {
            labelled_row("Connected:", "%s", player.connected ? "true" : "false");
            labelled_row("Mouse:", "(%.1f, %.1f)", static_cast<double>(player.mouse_x),
                         static_cast<double>(player.mouse_y));
            labelled_row("Pointers:", "%s", player.show_mouse ? "true" : "false");
        }
        ImGui::PopID();
    }
}

double ns_to_ms(int64_t ns) { return static_cast<double>(ns) / 1e6; }

void profiler_rows(const Zone& zone, int depth, double frame_ms) {
    for (const Zone* child = zone.first_child; child; child = child->next_sibling) {
        std::string dashes;
        for (int i = 0; i < depth; ++i) dashes += "--";
        const double avg_ms = child->hits > 0 ? ns_to_ms(child->total_ns) / static_cast<double>(child->hits) : 0.0;
        const double share = frame_ms > 0 ? static_cast<double>(child->hits) * 100.0 * avg_ms / frame_ms : 0.0;
        ImGui::TableNextRow();
        ImGui::TableNextColumn();
        ImGui::Text("%s %.*s", dashes.c_str(), static_cast<int>(child->name.size()), child->name.data());
        ImGui::TableNextColumn();
        ImGui::Text("%.1f%%", share);
        ImGui::TableNextColumn();
        ImGui::Text("%d", static_cast<int>(child->hits));
        ImGui::TableNextColumn();
        ImGui::Text("%.2fms", avg_ms);
        ImGui::TableNextColumn();
        ImGui::Text("%.2fms", ns_to_ms(child->max_ns));
        ImGui::TableNextColumn();
        ImGui::Text("%.2fms", ns_to_ms(child->all_time_max_ns));
        profiler_rows(*child, depth + 1, frame_ms);
    }
}

void profiler_panel(const Profiler& profiler) {
    ImGui::TextUnformatted("Profiler (frame)");
    ImGui::Button("Reset Profiler");
    if (!ImGui::BeginTable("zones", 6, ImGuiTableFlags_SizingFixedFit)) return;
    const float widths[] = {150, 70, 40, 70, 70, 0};
    const char* headers[] = {"Category", "% frame", "Hits", "Avg (ms)", "Max (ms)", "All-Time Max (ms)"};
    for (int i = 0; i < 6; ++i)
        ImGui::TableSetupColumn(headers[i], i == 5 ? ImGuiTableColumnFlags_WidthStretch : ImGuiTableColumnFlags_WidthFixed,
                                widths[i]);
    ImGui::TableHeadersRow();
    const Zone& root = profiler.root();
    profiler_rows(root, 0, ns_to_ms(root.total_ns));
    ImGui::EndTable();
}

} // namespace

void ui_render(UiState& ui, const StatusView& view, int window_width, int window_height) {
    const float half = static_cast<float>(window_width * 5 / 10);
    const ImGuiCond place = ui.laid_out ? ImGuiCond_FirstUseEver : ImGuiCond_Always;
    ui.laid_out = true;
    ImGui::SetNextWindowPos(ImVec2(0, 0), place);
    ImGui::SetNextWindowSize(ImVec2(half, static_cast<float>(window_height)), place);
    if (ImGui::Begin("Server State")) server_state_panel(view);
    ImGui::End();
    ImGui::SetNextWindowPos(ImVec2(half, 0), place);
    ImGui::SetNextWindowSize(ImVec2(half, static_cast<float>(window_height)), place);
    if (ImGui::Begin("Profiler") && view.profiler) profiler_panel(*view.profiler);
    ImGui::End();
}

} // namespace cog
