#pragma once

// The program: start-up in order, one instance per user, the message loop, and shutdown in the
// reverse order (windows destroyed, acc.lst written, then Options.xml, the lock released last).
int QuillboxMain(int& argc, char** argv);

class QString;
class TForm1;

// What a message from a second instance does: when it names the main window by its exact title,
// the window comes back from the tray or the taskbar, in front.
void ReceiveHandOver(TForm1* form, const QString& message);
