"""Drops a list of files onto a window through the X11 drag-and-drop
protocol (XDND), acting as the drag source a file manager would be: offers
text/uri-list, moves over the target, drops, and hands the list over when
the target asks for the selection.

Needs python3-xlib; drop_files raises Failure when the target refuses."""

import sys
import time
import urllib.parse

try:
    from Xlib import X, Xatom, display, protocol
except ImportError:  # Debian's module, for a Python of another installation
    sys.path.append("/usr/lib/python3/dist-packages")
    from Xlib import X, Xatom, display, protocol

from xsession import Failure

XDND_VERSION = 5


def uri_list(files):
    return "".join("file://" + urllib.parse.quote(f) + "\r\n" for f in files).encode("ascii")


def drop_files(window_id, files, x, y, timeout=10):
    """Drops files at root position (x, y) on the top-level window."""
    d = display.Display()
    atom = lambda name: d.intern_atom(name)  # noqa: E731
    root = d.screen().root
    target = d.create_resource_object("window", int(window_id, 16))
    aware = target.get_full_property(atom("XdndAware"), Xatom.ATOM)
    if not aware or not aware.value:
        raise Failure("the window does not take part in X11 drag and drop")
    version = min(XDND_VERSION, aware.value[0])
    source = root.create_window(-10, -10, 1, 1, 0, X.CopyFromParent, X.InputOutput,
                                event_mask=X.PropertyChangeMask)
    uri_type = atom("text/uri-list")
    source.set_selection_owner(atom("XdndSelection"), X.CurrentTime)
    d.sync()

    def send(name, data):
        event = protocol.event.ClientMessage(window=target, client_type=atom(name),
                                             data=(32, data + [0] * (5 - len(data))))
        target.send_event(event, event_mask=0)
        d.flush()

    def wait_for(predicate, what):
        end = time.monotonic() + timeout
        while time.monotonic() < end:
            while d.pending_events():
                event = d.next_event()
                if event.type == X.SelectionRequest:
                    answer_selection(event)
                elif predicate(event):
                    return event
            time.sleep(0.005)
        raise Failure(f"no {what} from the window within {timeout} s")

    def answer_selection(request):
        prop = request.property or request.target
        if request.target == uri_type:
            request.requestor.change_property(prop, uri_type, 8, uri_list(files))
        else:
            prop = X.NONE
        notify = protocol.event.SelectionNotify(time=request.time, requestor=request.requestor,
                                                selection=request.selection, target=request.target,
                                                property=prop)
        request.requestor.send_event(notify)
        d.flush()

    def client_message(name):
        kind = atom(name)
        return lambda e: e.type == X.ClientMessage and e.client_type == kind

    send("XdndEnter", [source.id, version << 24, uri_type])
    send("XdndPosition", [source.id, 0, (x << 16) | y, X.CurrentTime, atom("XdndActionCopy")])
    status = wait_for(client_message("XdndStatus"), "XdndStatus")
    if not status.data[1][1] & 1:
        send("XdndLeave", [source.id])
        raise Failure("the window refused the dropped file list")
    send("XdndDrop", [source.id, 0, X.CurrentTime])
    wait_for(client_message("XdndFinished"), "XdndFinished")
    source.destroy()
    d.close()
