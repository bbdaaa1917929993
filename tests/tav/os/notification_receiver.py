# A small stand-in for the desktop's notification service: owns
# org.freedesktop.Notifications on the session bus, answers Notify with an
# id (the one to replace, or a new one), and logs each call as
# "<id> <replaced id> <body>" to the file given.
# Usage: /usr/bin/python3 notification_receiver.py <log>
import sys

from gi.repository import Gio, GLib

INTERFACE = """
<node><interface name="org.freedesktop.Notifications">
  <method name="Notify">
    <arg type="s" direction="in"/><arg type="u" direction="in"/><arg type="s" direction="in"/>
    <arg type="s" direction="in"/><arg type="s" direction="in"/><arg type="as" direction="in"/>
    <arg type="a{sv}" direction="in"/><arg type="i" direction="in"/><arg type="u" direction="out"/>
  </method>
</interface></node>
"""
log = open(sys.argv[1], "a", buffering=1)
last = [0]


def call(connection, sender, path, interface, method, parameters, invocation):
    _app, replaces, _icon, summary, body, _actions, _hints, _timeout = parameters.unpack()
    if replaces:
        number = replaces
    else:
        last[0] += 1
        number = last[0]
    log.write("%d %d %s %s\n" % (number, replaces, summary, body))
    invocation.return_value(GLib.Variant("(u)", (number,)))


def acquired(connection, name):
    log.write("ready\n")


def bus_acquired(connection, name):
    info = Gio.DBusNodeInfo.new_for_xml(INTERFACE).interfaces[0]
    connection.register_object("/org/freedesktop/Notifications", info, call, None, None)


Gio.bus_own_name(Gio.BusType.SESSION, "org.freedesktop.Notifications", Gio.BusNameOwnerFlags.NONE,
                 bus_acquired, acquired, None)
GLib.MainLoop().run()
