#!/usr/bin/python3
# A settings portal for the desktop tests: org.freedesktop.portal.Desktop on the session bus,
# answering the Settings interface's Read and ReadOne for org.freedesktop.appearance
# color-scheme. SIGUSR1 turns the scheme light and sends SettingChanged. Prints "ready" once
# it owns its name.
#
# usage: fake_portal.py dark|light|error   (error: every read fails with a portal error)
import signal
import sys

import gi

gi.require_version("Gio", "2.0")
from gi.repository import Gio, GLib  # noqa: E402

NAME = "org.freedesktop.portal.Desktop"
PATH = "/org/freedesktop/portal/desktop"
INTERFACE = "org.freedesktop.portal.Settings"
GROUP, KEY = "org.freedesktop.appearance", "color-scheme"
XML = f"""<node><interface name="{INTERFACE}">
  <method name="Read"><arg type="s" direction="in"/><arg type="s" direction="in"/>
    <arg type="v" direction="out"/></method>
  <method name="ReadOne"><arg type="s" direction="in"/><arg type="s" direction="in"/>
    <arg type="v" direction="out"/></method>
  <signal name="SettingChanged"><arg type="s"/><arg type="s"/><arg type="v"/></signal>
</interface></node>"""

mode = sys.argv[1] if len(sys.argv) > 1 else "dark"
state = {"value": {"dark": 1, "light": 2}.get(mode, 0), "bus": None}


def on_call(_bus, _sender, _path, _interface, method, args, invocation):
    group, key = args.unpack()
    print(f"{method} {group} {key}", flush=True)
    if mode == "error" or (group, key) != (GROUP, KEY):
        invocation.return_dbus_error("org.freedesktop.portal.Error.NotFound",
                                     "Requested setting not found")
        return
    value = GLib.Variant("u", state["value"])
    # Read wraps its answer in one more variant than ReadOne does.
    if method == "Read":
        value = GLib.Variant("v", value)
    invocation.return_value(GLib.Variant("(v)", (value,)))


def on_bus(bus, _name):
    node = Gio.DBusNodeInfo.new_for_xml(XML)
    bus.register_object(PATH, node.interfaces[0], on_call, None, None)
    state["bus"] = bus


def turn_light():
    state["value"] = 2
    state["bus"].emit_signal(None, PATH, INTERFACE, "SettingChanged",
                             GLib.Variant("(ssv)", (GROUP, KEY, GLib.Variant("u", 2))))
    print("changed to light", flush=True)
    return GLib.SOURCE_CONTINUE


loop = GLib.MainLoop()
Gio.bus_own_name(Gio.BusType.SESSION, NAME, Gio.BusNameOwnerFlags.NONE, on_bus,
                 lambda *_: print("ready", flush=True), lambda *_: loop.quit())
GLib.unix_signal_add(GLib.PRIORITY_DEFAULT, signal.SIGUSR1, turn_light)
GLib.unix_signal_add(GLib.PRIORITY_DEFAULT, signal.SIGTERM, loop.quit)
loop.run()
