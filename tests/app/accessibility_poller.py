# Reads the accessible tree of every application whose name holds the given word, again and
# again, as a screen reader does, until the time is up. Prints, about once a second, how many
# nodes it read of such an application since the last line.
#   accessibility_poller.py WORD SECONDS
import sys
import time

import pyatspi

word, seconds = sys.argv[1], float(sys.argv[2])
deadline = time.time() + seconds
nodes = 0
reported = time.time()


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
    if nodes and time.time() - reported >= 1:
        print(f"read {nodes} nodes", flush=True)
        nodes, reported = 0, time.time()
    time.sleep(0.02)
