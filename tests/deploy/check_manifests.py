#!/usr/bin/env python3
"""The deployment files load as YAML and agree with each other and with the host: the fleet's
ports are the host's and none the Agones sidecar holds, the players List has a capacity, rooms
log quietly, health checking is on, every container is sized, the autoscaler scales this fleet,
and both ways of building the image expose the same ports and start the host on them, and the rooms'
metrics port is declared for scraping (a container port the PodMonitor names, annotations). The door's
manifests: its Role allows exactly what the door calls, bound to the account its pods run as; it
allocates from this fleet and reaches the fleet's web port; every Agones resource and every field
of the allocation it sends is one Agones' own types name (tests/deploy/agones_fields.txt); its metrics
port is declared for scraping (a container port its PodMonitor names, annotations), not behind its Service."""
import json
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

# ---- The door on Agones ----

# The resources and field paths read from Agones' types (the file names the release and commit).
agones_resources, agones_fields, agones_states = {}, {}, {}
for line in (root / "tests/deploy/agones_fields.txt").read_text().splitlines():
    words = line.split()
    if not words or words[0].startswith("#"):
        continue
    if words[0] == "resource":
        agones_resources[(words[1], words[2])] = words[3]
    elif words[0] == "field":
        agones_fields.setdefault(words[1], set()).add(words[2])
    elif words[0] == "state":
        agones_states.setdefault(words[1], set()).add(words[2])
check(re.search(r"commit\s+[0-9a-f]{40}", (root / "tests/deploy/agones_fields.txt").read_text()) is not None,
      "agones_fields.txt names the Agones commit its fields were read from")


def unknown_fields(kind, value, path=""):
    """The paths in `value` that are not among the kind's fields ("[]": items, "*": a map's keys)."""
    known = agones_fields.get(kind, set())
    child = (lambda name: f"{path}.{name}" if path else name)
    if isinstance(value, dict):
        is_map = child("*") in known
        out = []
        for name, member in value.items():
            if is_map and not isinstance(member, str):
                out.append(f"{child('*')} is not a string")
            out += unknown_fields(kind, member, child("*") if is_map else child(name))
        return out
    if isinstance(value, list):
        return [p for item in value for p in unknown_fields(kind, item, path + "[]")]
    return [] if path in known else [path]


def door_default(field):
    text = (root / "door/agones_resources.h").read_text()
    return re.search(rf'std::string {field} = "([^"]*)"', text).group(1)


agones_docs = [(name.name, doc) for name in sorted((root / "deploy/agones").iterdir())
               for doc in (yaml.safe_load_all(name.read_text()) if name.suffix == ".yaml" else [json.loads(name.read_text())])
               if doc]
for name, doc in agones_docs:
    group = str(doc.get("apiVersion", "")).split("/")[0]
    if group.endswith("agones.dev"):
        check((doc.get("apiVersion"), doc.get("kind")) in agones_resources,
              f"{name}: {doc.get('apiVersion')} {doc.get('kind')} is a resource Agones serves")

door = {doc["kind"]: doc for name, doc in agones_docs if name == "door.yaml"}
check(set(door) == {"ServiceAccount", "Role", "RoleBinding", "Deployment", "Service"},
      "door.yaml holds the door's ServiceAccount, Role, RoleBinding, Deployment and Service")
if set(door) >= {"ServiceAccount", "Role", "RoleBinding", "Deployment", "Service"}:
    allowed = {}
    for rule in door["Role"].get("rules", []):
        for group in rule.get("apiGroups", []):
            for resource in rule.get("resources", []):
                allowed.setdefault((group, resource), set()).update(rule.get("verbs", []))
    plural = {(version.split("/")[0], kind): p for (version, kind), p in agones_resources.items()}
    wanted = {("allocation.agones.dev", plural.get(("allocation.agones.dev", "GameServerAllocation"))): {"create"},
              ("agones.dev", plural.get(("agones.dev", "GameServer"))): {"get", "list", "watch"}}
    check(allowed == wanted, f"the door's Role allows exactly {wanted}, not {allowed}")
    account = door["ServiceAccount"]["metadata"]["name"]
    binding = door["RoleBinding"]
    check(binding.get("roleRef", {}).get("kind") == "Role" and binding["roleRef"].get("name") == door["Role"]["metadata"]["name"],
          "the RoleBinding binds the door's Role")
    check({"kind": "ServiceAccount", "name": account} in [{k: s.get(k) for k in ("kind", "name")} for s in binding.get("subjects", [])],
          "the RoleBinding binds it to the door's ServiceAccount")
    pod = door["Deployment"]["spec"]["template"]
    check(pod["spec"].get("serviceAccountName") == account, "the door's pods run as its ServiceAccount")
    check(pod["spec"].get("automountServiceAccountToken", True) is not False, "the door's pods get their token")
    check(door["Deployment"]["spec"]["selector"]["matchLabels"].items() <= pod["metadata"]["labels"].items(),
          "the Deployment selects its own pods")
    check(len(pod["spec"]["containers"]) == 1, "one container per door")
    c = pod["spec"]["containers"][0]
    args = [str(a) for a in c.get("args", [])]
    arg = (lambda flag, default=None: args[args.index(flag) + 1] if flag in args[:-1] else default)
    check(arg("--rooms") == "agones", "the door asks Agones for rooms (--rooms agones)")
    check(arg("--fleet", door_default("fleet")) == fleet_name, "the door allocates from the fleet in fleet.yaml")
    web_port_name = arg("--web-port-name", door_default("web_port_name"))
    fleet_ports = {p.get("name"): p.get("containerPort") for p in server_spec.get("ports", [])}
    check(fleet_ports.get(web_port_name) == web_port, f"the door's web port name '{web_port_name}' is the fleet's web port")
    check(not str(arg("--k8s-api", "https://")).startswith("http://"), "the door talks to the API server over TLS")
    door_port = int(arg("--port", 8080))
    check(door_port in [p.get("containerPort") for p in c.get("ports", [])], "the door's container publishes its --port")
    res = c.get("resources", {})
    check({"cpu", "memory"} <= set(res.get("requests", {})) and {"cpu", "memory"} <= set(res.get("limits", {})),
          "the door is requested and limited")
    check(c.get("securityContext", {}).get("runAsNonRoot") is True, "the door runs as a non-root user")
    service = door["Service"]["spec"]
    check(service.get("selector", {}).items() <= pod["metadata"]["labels"].items(), "the Service selects the door's pods")
    named = {p.get("name"): p.get("containerPort") for p in c.get("ports", [])}
    check(all(named.get(p.get("targetPort"), p.get("targetPort")) == door_port for p in service.get("ports", [])),
          "the Service sends to the door's port")
    door_image = (root / "deploy/door.Containerfile").read_text()
    check(re.search(rf"^EXPOSE\s+{door_port}/tcp", door_image, re.M) is not None, "the door's image exposes its port")
    check(re.search(r"^USER\s+(?!root|0\b)\S+", door_image, re.M) is not None, "the door's image runs as a non-root user")
    check(re.search(r'^ENTRYPOINT\s+\[.*cogwell-door', door_image, re.M) is not None, "the door's image starts the door")
    check(service.get("type") != "LoadBalancer" or service.get("externalTrafficPolicy") == "Local",
          "a load balancer keeps the players' addresses (the door limits per address)")

    # The door's metrics: on a port of its own, declared for scraping, never behind the Service.
    door_metrics_port = int(arg("--metrics-port", 0))
    check(door_metrics_port not in (0, door_port), "the door serves metrics (--metrics-port) on a port of their own")
    check(named.get("metrics") == door_metrics_port, "the door's container declares its metrics port, named metrics")
    check(all(named.get(p.get("targetPort"), p.get("targetPort")) != door_metrics_port for p in service.get("ports", [])),
          "the door's Service does not route to its metrics port")
    door_annotations = pod["metadata"].get("annotations", {})
    check(door_annotations.get("prometheus.io/scrape") == "true"
          and door_annotations.get("prometheus.io/port") == str(door_metrics_port),
          "the door's pods are annotated for scraping on its metrics port")
    door_monitor = yaml.safe_load((root / "deploy/prometheus/door-podmonitor.yaml").read_text())
    check(door_monitor.get("kind") == "PodMonitor" and door_monitor["spec"]["selector"].get("matchLabels")
          and door_monitor["spec"]["selector"]["matchLabels"].items() <= pod["metadata"]["labels"].items(),
          "door-podmonitor.yaml is a PodMonitor selecting the door's pods")
    check(any(e.get("port") == "metrics" and e.get("path", "/metrics") == "/metrics"
              for e in door_monitor["spec"].get("podMetricsEndpoints", [])),
          "the door's PodMonitor scrapes the metrics port's /metrics")

    # The allocation the door sends (the test of the door checks it sends exactly this one).
    allocation = json.loads((root / "deploy/agones/allocation.json").read_text())
    check(unknown_fields("GameServerAllocation", allocation) == [],
          f"the allocation names only Agones' fields: not {unknown_fields('GameServerAllocation', allocation)}")
    check(allocation.get("spec", {}).get("selectors") == [{"matchLabels": {"agones.dev/fleet": fleet_name}}],
          "the allocation takes a GameServer of the fleet, by its fleet label")
    room_label = arg("--room-label", door_default("room_label"))
    check(list(allocation["spec"].get("metadata", {}).get("labels", {})) == [room_label],
          f"the allocation labels the GameServer with the room's code under '{room_label}'")
    check({"Allocated", "UnAllocated"} <= agones_states.get("GameServerAllocation", set()),
          "the allocation's answer states the door reads are Agones' own")

for f in failures:
    print("FAIL:", f)
sys.exit(1 if failures else 0)
