# Reads the accessible tree of every application whose name holds the given word, again and
# again, as a screen reader does, until the time is up. Prints how much it read.
#   accessibility_poller.py WORD SECONDS
import sys
import time

import pyatspi

word, seconds = sys.argv[1], float(sys.argv[2])
deadline = time.time() + seconds
walks = nodes = 0


def walk(node, depth=0):
    global nodes
    if node is None or depth > 40:
        return
    nodes += 1
    try:
        node.name, node.getRole(), node.getState()
        for i in range(node.childCount):
            walk(node.getChildAtIndex(i), depth + 1)
    except Exception:
        pass  # a node that went away while it was read


while time.time() < deadline:
    desktop = pyatspi.Registry.getDesktop(0)
    for i in range(desktop.childCount):
        application = desktop.getChildAtIndex(i)
        if application is not None and word in (application.name or ""):
            walk(application)
    walks += 1
    time.sleep(0.02)
print(f"walks {walks} nodes {nodes}", flush=True)
