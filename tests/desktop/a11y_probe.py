"""Reads the console as a screen reader does, through the accessibility bus (pyatspi).

usage: a11y_probe.py lists | alert | events SECONDS | chats COUNT | context | found VISITOR
  lists   the visitors' list by its cells: headings and a row
  alert   waits for a chat request's alert and prints what it says
  events  prints, for SECONDS, the notifications and transcript insertions the console raises
  chats   waits for COUNT requests in the Chats view, read row by row, oldest first
  context the call window's view of the visitor: their page and time on the site
  found   the visitors' list narrowed to the one VISITOR
Exits 1 with a reason when what it looks for is not there.
"""
import re
import sys
import time

import pyatspi
from gi.repository import GLib


def app():
    for _ in range(100):
        desktop = pyatspi.Registry.getDesktop(0)
        for candidate in desktop:
            if candidate is not None and candidate.name.lower().startswith("olvex"):
                return candidate
        time.sleep(0.2)
    sys.exit("the console is not on the accessibility bus")


def find(root, predicate):
    return pyatspi.utils.findDescendant(root, predicate, True)


def dump(node, depth=0, out=sys.stderr):
    if node is None or depth > 8:
        return
    print("  " * depth + f"{node.getRoleName()} {node.name!r}", file=out)
    for child in node:
        dump(child, depth + 1, out)


def lists():
    table = find(app(), lambda o: o is not None and o.name == "Website Visitors"
                 and o.getRole() in (pyatspi.ROLE_TABLE, pyatspi.ROLE_TREE_TABLE, pyatspi.ROLE_TREE))
    if table is None:
        dump(app())
        sys.exit("no visitors' list named Website Visitors")
    t = table.queryTable()
    headings = [t.getColumnDescription(c) or t.getColumnHeader(c).name for c in range(t.nColumns)]
    print("headings:", headings)
    if "Visitor" not in headings or "Page URL" not in headings:
        sys.exit("the list's headings are not read")
    for _ in range(50):
        if t.nRows > 0:
            break
        time.sleep(0.2)
    if t.nRows == 0:
        sys.exit("the list has no rows")
    row = [t.getAccessibleAt(0, c).name for c in range(t.nColumns)]
    print("first row:", row)
    if not row[0].isdigit():
        sys.exit("the Visitor cell does not read as a number")


def alert():
    deadline = time.time() + 60
    while time.time() < deadline:
        found = find(app(), lambda o: o is not None and o.getRole() == pyatspi.ROLE_ALERT)
        if found is not None:
            labels = []
            pyatspi.utils.findAllDescendants(found, lambda o: o.getRole() == pyatspi.ROLE_LABEL
                                             and labels.append(o.name))
            said = " ".join([found.name, found.description] + labels)
            print("alert:", said)
            match = re.search(r"You have received an Olvex call (request|transfer) from (\S.*?)\.",
                              said)
            if not match:
                sys.exit("the alert does not say who is calling")
            # The demo's visitors always ask something with their request.
            if not re.search("The visitor wrote: \u201C.+\u201D", found.description):
                sys.exit("the alert does not say what the visitor asked")
            return
        time.sleep(0.3)
    sys.exit("no alert role on the bus")


def events(seconds):
    def heard(event):
        try:
            # The name is asked afresh: one notification object says one thing after another.
            event.source.clear_cache()
            role = event.source.getRoleName()
            name = event.source.name
        except Exception:  # the source may have gone meanwhile
            return
        if event.type.startswith("object:state-changed:showing") and event.detail1 == 1 \
                and role in ("notification", "alert"):
            print(f"{role}: {name}", flush=True)
        elif event.type.startswith("object:text-changed:insert"):
            print(f"inserted in {role} {name!r}: {event.any_data!r}", flush=True)

    pyatspi.Registry.registerEventListener(
        heard, "object:state-changed:showing", "object:text-changed:insert")
    GLib.timeout_add(int(seconds * 1000), pyatspi.Registry.stop)
    pyatspi.Registry.start()


def table_named(name, timeout=10):
    deadline = time.time() + timeout
    while time.time() < deadline:
        found = find(app(), lambda o: o is not None and o.name == name and o.getRole() in (
            pyatspi.ROLE_TABLE, pyatspi.ROLE_TREE_TABLE, pyatspi.ROLE_TREE))
        if found is not None:
            return found
        time.sleep(0.3)
    dump(app())
    sys.exit(f"no list named {name}")


def rows(table):
    t = table.queryTable()
    return [[t.getAccessibleAt(r, c).name for c in range(t.nColumns)] for r in range(t.nRows)]


def chats(count):
    table = table_named("Chats")
    deadline = time.time() + 30
    while time.time() < deadline:
        cells = rows(table)
        # The requests follow their heading row, up to the open chats' heading.
        waiting = []
        for row in cells[1:]:
            if row[0].startswith(("Open chats", "No open chats")):
                break
            waiting.append(row)
        if len(waiting) >= count:
            for row in cells:
                print("chats:", row)
            if not cells[0][0].startswith("Waiting requests"):
                sys.exit("the requests have no heading")
            waited = []
            for name, wait, words in waiting:
                match = re.fullmatch(r"(\d+):(\d\d)", wait)
                if not name or not match or not words:
                    sys.exit(f"a request reads incompletely: {[name, wait, words]}")
                waited.append(int(match[1]) * 60 + int(match[2]))
            if waited != sorted(waited, reverse=True):
                sys.exit("the requests are not oldest first")
            print("oldest:", waiting[0][0])
            return
        time.sleep(0.5)
    sys.exit(f"fewer than {count} requests in the Chats view: {rows(table)}")


def context():
    deadline = time.time() + 20
    while time.time() < deadline:
        # What a label shows is its name; what it is, its description.
        page = find(app(), lambda o: o is not None and o.description == "The visitor's page")
        about = find(app(), lambda o: o is not None and o.description == "About the visitor")
        if page is not None and about is not None:
            said = [page.name, about.name]
            print("context:", said)
            if "http://" in said[0] and "On the site" in said[1]:
                return
        time.sleep(0.5)
    sys.exit("the call window says nothing of the visitor's page")


def found(visitor):
    table = table_named("Website Visitors")
    deadline = time.time() + 10
    while time.time() < deadline:
        cells = rows(table)
        if len(cells) == 1 and cells[0][0] == visitor:
            print("found:", cells[0])
            return
        time.sleep(0.3)
    sys.exit(f"the list shows {rows(table)}")


if __name__ == "__main__":
    mode = sys.argv[1] if len(sys.argv) > 1 else ""
    if mode == "lists":
        lists()
    elif mode == "alert":
        alert()
    elif mode == "events":
        events(float(sys.argv[2]))
    elif mode == "chats":
        chats(int(sys.argv[2]))
    elif mode == "context":
        context()
    elif mode == "found":
        found(sys.argv[2])
    else:
        sys.exit(__doc__)
