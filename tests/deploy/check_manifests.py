#!/usr/bin/env python3
"""The deployment files load as YAML and agree with each other and with the host: the fleet's
ports are the host's and none the Agones sidecar holds, the players List has a capacity, rooms
log quietly, health checking is on, every container is sized, the autoscaler scales this fleet,
and both ways of building the image expose the same ports and start the host on them, and the rooms'
metrics port is declared for scraping (a container port the PodMonitor names, annotations)."""
import pathlib
import re
import sys

import yaml

root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else ".")
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)


def host_default(name):
    text = (root / "server/options/options.h").read_text()
    return int(re.search(rf"{name}\s*=\s*(\d+)", text).group(1))


def quantity_cpu(text):
    text = str(text)
    return float(text[:-1]) / 1000 if text.endswith("m") else float(text)


def quantity_bytes(text):
    units = {"Ki": 1 << 10, "Mi": 1 << 20, "Gi": 1 << 30}
    text = str(text)
    for suffix, factor in units.items():
        if text.endswith(suffix):
            return float(text[: -len(suffix)]) * factor
    return float(text)


# The Agones sidecar listens inside every room's pod: its health server and its SDK ports.
SIDECAR_PORTS = {8080, 9357, 9358}

game_port = host_default("DEFAULT_PORT")
containerfile = (root / "deploy/Containerfile").read_text()
image_script = (root / "scripts/image.sh").read_text()
image_test = (root / "scripts/image-test.sh").read_text()
image_web_port = re.search(r"^ENV\s+COGWELL_WEB_PORT=(\d+)", containerfile, re.M)
check(image_web_port is not None, "the image sets the web port (COGWELL_WEB_PORT)")
web_port = int(image_web_port.group(1)) if image_web_port else host_default("DEFAULT_WEB_PORT")
check(web_port not in SIDECAR_PORTS, f"the image's web port {web_port} is not one the sidecar holds")
check(f"--env COGWELL_WEB_PORT={web_port}" in image_script and f"--port {web_port}/tcp" in image_script,
      "scripts/image.sh sets and exposes the same web port")
check(f":{web_port}\"" in image_test, "scripts/image-test.sh publishes the image's web port")

fleet = yaml.safe_load((root / "deploy/agones/fleet.yaml").read_text())
check(fleet.get("apiVersion") == "agones.dev/v1" and fleet.get("kind") == "Fleet", "fleet.yaml is an agones.dev/v1 Fleet")
fleet_name = fleet.get("metadata", {}).get("name")
check(bool(fleet_name), "the fleet has a name")
server_spec = fleet["spec"]["template"]["spec"]
ports = {p.get("containerPort"): p for p in server_spec.get("ports", [])}
check(game_port in ports and ports[game_port].get("protocol", "UDP") == "TCP", f"the fleet publishes TCP {game_port}")
check(web_port in ports and ports[web_port].get("protocol", "UDP") == "TCP", f"the fleet publishes TCP {web_port}")
for port in ports:
    check(port not in SIDECAR_PORTS, f"containerPort {port} is not one the sidecar holds (8080, 9357, 9358)")
players_list = (server_spec.get("lists") or {}).get("players") or {}
check(isinstance(players_list.get("capacity"), int) and players_list["capacity"] > 0,
      "the fleet gives the players List a capacity")
health = server_spec.get("health", {})
check(health.get("disabled") is not True, "health checking is on")
check(health.get("periodSeconds", 5) > 2, "the health period leaves room for a beat every 2 s")
containers = server_spec["template"]["spec"]["containers"]
check(len(containers) == 1, "one container per room")
for c in containers:
    env = {e["name"]: e.get("value") for e in c.get("env", [])}
    check(env.get("COGWELL_DEBUG_COMMANDS") == "admin", "rooms run with admin-only debug commands")
    check(env.get("COGWELL_WEB_PORT") == str(web_port), "rooms serve browsers on the image's web port")
    check(env.get("COGWELL_LOG_LEVEL") in ("info", "warn"), "rooms log at info or warn")
    check(bool(c.get("image")), "the container names its image")
    res = c.get("resources", {})
    req, lim = res.get("requests", {}), res.get("limits", {})
    for kind, parse in (("cpu", quantity_cpu), ("memory", quantity_bytes)):
        check(kind in req and kind in lim, f"{kind} is requested and limited")
        if kind in req and kind in lim:
            check(parse(req[kind]) <= parse(lim[kind]), f"the {kind} request fits its limit")
check(server_spec.get("ports") and all(p.get("container", containers[0]["name"]) == containers[0]["name"] for p in server_spec["ports"]),
      "the ports belong to the room's container")

scaler = yaml.safe_load((root / "deploy/agones/autoscaler.yaml").read_text())
check(scaler.get("apiVersion") == "autoscaling.agones.dev/v1" and scaler.get("kind") == "FleetAutoscaler",
      "autoscaler.yaml is a FleetAutoscaler")
check(scaler["spec"].get("fleetName") == fleet_name, "the autoscaler scales this fleet")
policy = scaler["spec"].get("policy", {})
buffer = policy.get("buffer", {})
check(policy.get("type") == "Buffer" and int(buffer.get("bufferSize", 0)) > 0, "a buffer of ready rooms is kept")
check(int(buffer.get("minReplicas", 0)) <= int(buffer.get("maxReplicas", 0)), "minReplicas <= maxReplicas")
check(int(buffer.get("bufferSize", 0)) <= int(buffer.get("maxReplicas", 0)), "the buffer fits under maxReplicas")

image_metrics_port = re.search(r"^ENV\s+COGWELL_METRICS_PORT=(\d+)", containerfile, re.M)
check(image_metrics_port is not None, "the image turns the metrics on (COGWELL_METRICS_PORT)")
metrics_port = int(image_metrics_port.group(1)) if image_metrics_port else 0
check(metrics_port not in SIDECAR_PORTS | {game_port, web_port}, f"the metrics port {metrics_port} is a port of its own")
check(f"--env COGWELL_METRICS_PORT={metrics_port}" in image_script, "scripts/image.sh sets the same metrics port")
for c in containers:
    env = {e["name"]: e.get("value") for e in c.get("env", [])}
    check(env.get("COGWELL_METRICS_PORT") == str(metrics_port), "rooms serve metrics on the image's metrics port")
    named = {p.get("name"): p.get("containerPort") for p in c.get("ports", [])}
    check(named.get("metrics") == metrics_port, "the room's container declares its metrics port, named metrics")
check(metrics_port not in ports, "the metrics port is no game port (no host port for it)")
annotations = fleet["spec"]["template"].get("metadata", {}).get("annotations", {})
check(annotations.get("prometheus.io/scrape") == "true" and annotations.get("prometheus.io/port") == str(metrics_port),
      "the rooms are annotated for scraping on the metrics port")
monitor = yaml.safe_load((root / "deploy/prometheus/podmonitor.yaml").read_text())
check(monitor.get("apiVersion") == "monitoring.coreos.com/v1" and monitor.get("kind") == "PodMonitor",
      "podmonitor.yaml is a PodMonitor")
wanted = monitor["spec"]["selector"].get("matchLabels", {})
room_labels = fleet["spec"]["template"].get("metadata", {}).get("labels", {})
check(bool(wanted) and all(room_labels.get(k) == v for k, v in wanted.items()), "the PodMonitor selects the fleet's rooms")
check(any(e.get("port") == "metrics" and e.get("path", "/metrics") == "/metrics"
          for e in monitor["spec"].get("podMetricsEndpoints", [])), "the PodMonitor scrapes the metrics port's /metrics")

exposed = {int(p) for line in re.findall(r"^EXPOSE\s+(.*)$", containerfile, re.M) for p in re.findall(r"(\d+)", line)}
check({game_port, web_port, metrics_port} <= exposed, "the image exposes the game, web and metrics ports")
check(re.search(r"^USER\s+(?!root|0\b)\S+", containerfile, re.M) is not None, "the image runs as a non-root user")
check(re.search(r'^ENTRYPOINT\s+\[.*cogwell-host', containerfile, re.M) is not None, "the image starts the host")

for f in failures:
    print("FAIL:", f)
sys.exit(1 if failures else 0)
