#!/usr/bin/env python3
"""Applies each one-line mistake below alone in CHECKOUT (a spare checkout with a configured
build-test, never the one you work in), builds the test binary that should catch it, runs the
tests named, reports CAUGHT or MISSED, and puts the file back.
Usage: scripts/mutation-check.py CHECKOUT [NAME...]"""
import subprocess, sys, os
root = os.path.abspath(sys.argv[1])
env = dict(os.environ, LSAN_OPTIONS=f"suppressions={root}/tests/lsan.supp:print_suppressions=0")
M = [
 ("origin prefix", "server/web/origin_check.cpp",
  "    return authority_without_default_port(authority, default_port) ==\n           authority_without_default_port(lower(host), default_port);",
  "    return authority_without_default_port(authority, default_port).starts_with(\n           authority_without_default_port(lower(host), default_port));",
  "test_web", "OriginCheck.*"),
 ("allowed origin prefix", "server/web/origin_check.cpp",
  "normalized_origin(entry) == normalized", "normalized.starts_with(normalized_origin(entry))", "test_web", "OriginCheck.*"),
 ("secret high half twice", "server/seats/secret_token.cpp",
  "token.text += HEX[byte & 0xF];", "token.text += HEX[byte >> 4];", "test_host", "Secrets.*"),
 ("early exit", "server/seats/secret_token.cpp",
  "    for (; i < token.size(); ++i)\n", "    for (; i < token.size(); ++i)\n        if (token[i] != offered[i]) return false; else\n", "test_host", "Secrets.*"),
 ("admin line kept", "server/recording/recorded_message.cpp",
  'return line.size() <= word ? "admin" : "admin***";', 'return std::string(line);', "test_host", "RealRecording.TheAdmin*"),
 ("token typo logged", "server/main/commands.cpp",
  "return printable(without_secret(text, host.debug_access.admin_token));", "return printable(text);", "test_host", "RealRecording.TheAdmin*"),
 ("from index unchecked", "shared/protocol/picture_change.cpp",
  "if (at < out.size() || count == 0 || from >= previous.size() || count > previous.size() - from)",
  "if (at < out.size() || count == 0 || count > previous.size() - from)", "test_protocol", "PictureChange.*"),
 ("client budget not charged", "client/session/host_reader.cpp",
  "        command_budget -= std::min(command_budget, changed_.commands().size());\n", "", "test_client", "StandInWebHost.Changes*"),
 ("client kept changes not cleared", "client/session/host_reader.cpp",
  "            changes_.clear();            // nor a change to one\n", "", "test_client", "StandInWebHost.Changes*"),
 ("recorder queue counts newest only", "server/recording/recorder.cpp",
  "queued_bytes_ + pending_.size() > MAX_QUEUED_BYTES", "pending_.size() > MAX_QUEUED_BYTES", "test_host", "RecordingQueue.*"),
 ("sidecar gameserver lane", "server/fleet/sidecar_client.cpp",
  "    if (call == SidecarCall::GAMESERVER) return &solo_in_flight_[1];\n", "", "test_fleet", "*Stuck*"),
 ("viewers never pruned", "server/pictures/picture_changes.cpp",
  "        else it = viewers_.erase(it);", "        else ++it;", "test_host", "PictureChanges.Viewers*"),
 ("INIT secret to every client", "server/main/sessions.cpp",
  "    if (presented != PresentedSecret::Absent) init.event.reconnect_secret", "    init.event.reconnect_secret", "test_host", "Sessions.IdsAreHanded*"),
 ("loopback limited", "shared/platform/own_machine.h",
  'return address == "127.0.0.1" || address == "::1" || address == "::ffff:127.0.0.1";', "return false;", "test_host", "WebHost.TheMachines*"),
 ("no seat rate", "server/main/sessions.cpp",
  "if (returning_id == 0 && !take_new_seat(claims.new_seats, address, now_ns))", "if (false)", "test_host", "Sessions.OneAddressTakes*"),
 ("departed evicted oldest", "server/main/departed_players.cpp",
  "if (departure.address != address || (first", "if ((first", "test_host", "Sessions.DepartedPlayers*"),
 ("console share per frame only", "server/main/client_input.cpp",
  "std::min(lines_allowed(socket->console_lines, now), MAX_CONSOLE_LINES_PER_CLIENT_FRAME));",
  "MAX_CONSOLE_LINES_PER_CLIENT_FRAME);", "test_host", "RobustFixture.AFlooding*"),
 ("replay fails a recording cut short", "replay/main.cpp",
  "if (end == cog::replay::LoadError::None || end == cog::replay::LoadError::Truncated) return status;",
  "if (end == cog::replay::LoadError::None) return status;", "test_host", "RealRecording.ARecordingEndsWhole*"),
]
only = sys.argv[2:]
for name, path, old, new, target, filt in M:
    if only and name not in only: continue
    f = os.path.join(root, path); text = open(f).read()
    if old not in text:
        print(f"SKIP {name}: line not found", flush=True); continue
    open(f, "w").write(text.replace(old, new, 1))
    try:
        b = subprocess.run(["nice", "cmake", "--build", "build-test", "--target", target, "-j2"], cwd=root, env=env,
                           capture_output=True, text=True)
        if b.returncode != 0:
            print(f"BUILD-FAIL {name}: {b.stdout[-800:]}", flush=True); continue
        cmd = [f"build-test/{target}", f"--gtest_filter={filt}"]
        if target == "test_client": cmd = ["xvfb-run", "-a"] + cmd
        r = subprocess.run(cmd, cwd=root, env=env, capture_output=True, text=True, timeout=600)
        print(f"{'CAUGHT' if r.returncode != 0 else 'MISSED'} {name} ({target} {filt})", flush=True)
    finally:
        open(f, "w").write(text)
