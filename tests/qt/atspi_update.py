#!/usr/bin/python3
"""A whole update driven as a screen reader's user drives it: through the accessibility bus alone.

The window is found by its process, every control by its role and accessible name; the port is typed
through the port box's editable text, every button is pressed through its accessible action, and what
the operator would hear (the status text, the time left, the progress value, the question, the verdict)
is read from the accessible objects. Nothing here clicks, types keys or looks at pixels.

Usage: atspi_update.py PID PORT VERDICT
  PID      the window's process
  PORT     the simulated logger's port, typed into the port box
  VERDICT  the text the verdict must read (the status bar's text and the message window's)
Prints one line per check ("ok   ..." or "FAIL ..."); exits 1 when any failed, 2 when the window or a
control could not be found at all (what was seen is printed).
"""

import sys
import time

import pyatspi

# Generous: a loaded machine may start the program, the bus and the simulator slowly.
FIND_SECONDS = 60
JOB_SECONDS = 300
POLL_SECONDS = 0.1


class NotFound(Exception):
    pass


failures = 0


def check(name, ok, detail=""):
    global failures
    print(("ok   " if ok else "FAIL ") + name + ("" if ok or not detail else ": " + detail), flush=True)
    if not ok:
        failures += 1


def fresh(acc):
    # The window changes while nobody listens to its events: read what it says now, not a cached copy.
    try:
        acc.clear_cache()
    except Exception:
        pass
    return acc


def role(acc):
    return fresh(acc).getRoleName()


def children(acc):
    fresh(acc)
    result = []
    for i in range(acc.childCount):
        child = acc.getChildAtIndex(i)
        if child is not None:
            result.append(child)
    return result


def descendants(acc):
    for child in children(acc):
        yield child
        yield from descendants(child)


def showing(acc):
    return fresh(acc).getState().contains(pyatspi.STATE_SHOWING)


def enabled(acc):
    return fresh(acc).getState().contains(pyatspi.STATE_ENABLED)


def wait_for(what, probe, seconds=FIND_SECONDS):
    """Polls probe until it returns something other than None or False; raises NotFound after seconds."""
    deadline = time.monotonic() + seconds
    while True:
        try:
            found = probe()
        except Exception:  # an object that went away while it was read
            found = None
        if found is not None and found is not False:
            return found
        if time.monotonic() > deadline:
            raise NotFound(what)
        time.sleep(POLL_SECONDS)


def find(root, role_name, name, only_showing=True):
    for acc in descendants(root):
        if role(acc) == role_name and acc.name == name and (not only_showing or showing(acc)):
            return acc
    return None


def application(pid):
    desktop = pyatspi.Registry.getDesktop(0)
    for app in children(desktop):
        try:
            if app.get_process_id() == pid:
                return app
        except Exception:
            pass
    return None


def top_windows(app, role_names):
    return [w for w in children(app) if role(w) in role_names and showing(w)]


def press(acc, action="Press"):
    actions = acc.queryAction()
    names = [actions.getName(i) for i in range(actions.nActions)]
    if action not in names:
        raise NotFound("action %s of %s %r (it has %s)" % (action, role(acc), acc.name, names))
    actions.doAction(names.index(action))


def text_of(acc):
    text = fresh(acc).queryText()
    return text.getText(0, text.characterCount)


def value_of(acc):
    return fresh(acc).queryValue().currentValue


def dump(acc, depth=0, out=sys.stdout):
    try:
        extra = ""
        try:
            extra = " text=%r" % text_of(acc)
        except NotImplementedError:
            pass
        print("    %s%s %r description=%r%s" % ("  " * depth, role(acc), acc.name, acc.description, extra), file=out)
        for child in children(acc):
            dump(child, depth + 1, out)
    except Exception as e:
        print("    %s(gone: %s)" % ("  " * depth, e), file=out)


def run(pid, port, verdict):
    # The library's own bound on a call is under a second; a sanitized program on a loaded machine may
    # take longer to answer, and a late answer is no fault of the window.
    pyatspi.setTimeout(30000, 60000)
    app = wait_for("the program on the accessibility bus", lambda: application(pid))
    frame = wait_for(
        "the main window", lambda: find(app, "frame", "Vantrel Firmware Update"))

    # Every control the operator meets, by its role and name.
    box = wait_for("the port box", lambda: find(frame, "combo box", "Comport"))
    update = wait_for("Update", lambda: find(frame, "push button", "Update"))
    close = find(frame, "push button", "Close")
    status = find(frame, "label", "Status", only_showing=False)
    time_left = find(frame, "label", "Time left", only_showing=False)
    progress = find(frame, "progress bar", "Progress")
    for what, acc in (("Close", close), ("the status text", status), ("the time left", time_left),
                      ("the progress bar", progress)):
        if acc is None:
            raise NotFound(what)
    check("every control found by its role and name", True)
    check("idle: the progress reads 0", value_of(progress) == 0, "reads %s" % value_of(progress))
    check("idle: no time left shown", not showing(time_left))

    # The port typed through the box's editable text, as a screen reader's user types it.
    edit = wait_for("the port box's editable text",
                    lambda: next((c for c in children(box) if "EditableText" in pyatspi.listInterfaces(c)), None))
    edit.queryEditableText().setTextContents(port)
    wait_for("the port in the box", lambda: text_of(edit) == port)
    check("the port typed through the editable text reads back", text_of(edit) == port)

    press(update)
    question = wait_for("the question before the update",
                        lambda: next(iter(top_windows(app, ("alert", "dialog"))), None))
    question_texts = [c.name for c in descendants(question) if role(c) == "label"]
    check("the question is read out before the update", any("Do you really continue" in t for t in question_texts),
          "labels %r" % question_texts)
    press(wait_for("Yes", lambda: find(question, "push button", "Yes")))

    # While the job runs: the status text, the time left and the progress, as they are announced.
    seen_progress = set()
    seen_time_left = set()
    seen_status = set()
    cancel_actions = set()

    def verdict_window():
        for window in top_windows(app, ("dialog", "alert")):
            if find(window, "push button", "OK") is not None:
                return window
        return None

    deadline = time.monotonic() + JOB_SECONDS
    message = None
    while message is None:
        try:
            seen_progress.add(int(value_of(progress)))
            seen_status.add(fresh(status).description)
            if showing(time_left):
                seen_time_left.add(fresh(time_left).description)
            cancel = find(frame, "push button", "Cancel")
            if cancel is not None:
                actions = cancel.queryAction()
                cancel_actions.update(actions.getName(i) for i in range(actions.nActions))
            message = verdict_window()
        except Exception:
            pass
        if message is None:
            if time.monotonic() > deadline:
                raise NotFound("the verdict within %d s" % JOB_SECONDS)
            time.sleep(POLL_SECONDS)

    print("     read during the job: progress %s, time left %s" % (sorted(seen_progress), sorted(seen_time_left)))
    check("the progress was read between 0 and 100 during the job", any(0 < p < 100 for p in seen_progress))
    check("Cancel was offered with its Press action during the job", "Press" in cancel_actions,
          "actions %r" % sorted(cancel_actions))
    check("the status text was read during the job", any(s for s in seen_status), "read %r" % seen_status)
    check("the time left was read during the job", seen_time_left and all(t.endswith(" left") for t in seen_time_left),
          "read %r" % seen_time_left)

    memo = find(message, "text", "Message")
    if memo is None:
        raise NotFound("the verdict window's text")
    check("the verdict window reads the success text", text_of(memo) == verdict, "reads %r" % text_of(memo))
    check("the verdict window tells its text beside its title", verdict in (message.name, fresh(message).description),
          "title %r, description %r" % (message.name, message.description))
    check("the status text is the verdict", fresh(status).description == verdict, "reads %r" % status.description)
    check("the progress reads 100 at the verdict", value_of(progress) == 100, "reads %s" % value_of(progress))

    press(find(message, "push button", "OK"))
    wait_for("the verdict window to close", lambda: verdict_window() is None)
    wait_for("Update enabled again", lambda: enabled(update))
    check("after OK: idle, Update enabled, no time left", enabled(update) and not showing(time_left))

    # The program is closed the same way; the caller checks that it ends.
    press(close)


def main():
    if len(sys.argv) != 4:
        print(__doc__, file=sys.stderr)
        return 2
    pid, port, verdict = int(sys.argv[1]), sys.argv[2], sys.argv[3]
    try:
        run(pid, port, verdict)
    except NotFound as e:
        print("FAIL not found: %s" % e)
        desktop = pyatspi.Registry.getDesktop(0)
        app = application(pid)
        dump(app if app is not None else desktop)
        return 2
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
