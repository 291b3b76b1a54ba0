#!/usr/bin/env bash
# The include check on a small tree that breaks each kind of rule once, also
# by the ways around a plain path (angle brackets, "../", a system header in
# quotes, a computed include), beside includes that the rules allow: exactly
# the wrong-way ones are named, and the check fails.
set -uo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
tree="$(mktemp -d)"
trap 'rm -rf "$tree"' EXIT
mkdir -p "$tree"/{platform,host_api,peer_link,bridge,plugin,peer_sdk}
put() { printf '%s\n' "${@:2}" >"$tree/$1"; }

put platform/win32_x.cpp '#include <windows.h>' '#include "platform/platform.h"' '#include "host_api/viewer.h"'
put host_api/viewer.h '#include <cstdint>' '#include "host_api/viewer_abi.h"' '#include "peer_link/peer_message.h"'
put peer_link/dispatch.cpp '#include "platform/platform.h"' '#include "bridge/controller.h"' '#include "platform/win32_platform.h"' \
  '#include <bridge/controller.h>' '#include "dispatch.h"'
put peer_link/dispatch.h '#pragma once'
put bridge/controller.cpp '#include "peer_link/peer_message.h"' '#include "plugin/plugin_texts.h"' \
  '#include "plugin/plugin_lifecycle.h"' '#include <windows.h>' '  #  include "platform/win32_handles.h"' \
  '#include "../plugin/plugin_lifecycle.h"' '#include "windows.h"' '#include <peer_link/peer_message.h>' \
  '#include "./../bridge/guid_index.h"' '#include "../../outside.h"' '#include VIEWER_HEADER'
put bridge/guid_index.h '#pragma once'
put peer_sdk/vidudude_peer.h '#include <windows.h>' '#include <stdio.h>'
put plugin/exports.cpp '#include <windows.h>' '#include "bridge/controller.h"' '#include "tests/wine_tools/probe_state.h"' \
  '#include "../tools/peer_driver/peer_driver.h"'

expected="platform/win32_x.cpp:3: platform/ may not include \"host_api/viewer.h\"
host_api/viewer.h:3: host_api/ may not include \"peer_link/peer_message.h\"
peer_link/dispatch.cpp:2: peer_link/ may not include \"bridge/controller.h\"
peer_link/dispatch.cpp:3: peer_link/ may not include \"platform/win32_platform.h\"
peer_link/dispatch.cpp:4: peer_link/ may not include <bridge/controller.h>
bridge/controller.cpp:2: bridge/ may not include \"plugin/plugin_texts.h\"
bridge/controller.cpp:3: bridge/ may not include \"plugin/plugin_lifecycle.h\"
bridge/controller.cpp:4: bridge/ may not include <windows.h>
bridge/controller.cpp:5: bridge/ may not include \"platform/win32_handles.h\"
bridge/controller.cpp:6: bridge/ may not include \"../plugin/plugin_lifecycle.h\" (plugin/plugin_lifecycle.h)
bridge/controller.cpp:7: bridge/ may not include \"windows.h\"
bridge/controller.cpp:10: bridge/ may not include \"../../outside.h\" (../outside.h)
bridge/controller.cpp:11: bridge/ may not include VIEWER_HEADER
plugin/exports.cpp:3: plugin/ may not include \"tests/wine_tools/probe_state.h\"
plugin/exports.cpp:4: plugin/ may not include \"../tools/peer_driver/peer_driver.h\" (tools/peer_driver/peer_driver.h)
peer_sdk/vidudude_peer.h:2: peer_sdk/vidudude_peer.h may not include <stdio.h>"

output="$("$here/tools/check_includes.sh" "$tree")"
rc=$?
found="$(grep -v '^==' <<<"$output" | sort)"
if [ "$rc" -eq 0 ] || [ "$found" != "$(sort <<<"$expected")" ]; then
  echo "check exited $rc; expected these lines:" >&2
  echo "$expected" >&2
  echo "got:" >&2
  echo "$output" >&2
  exit 1
fi
echo "ok: $(wc -l <<<"$found") wrong-way includes named, check failed as it should"
