#pragma once

class CMirrowelDoc;
class QTextStream;
struct CCliOptions;

// quarrane-cli search DB --name TEXT | --tth TTH | --magnet LINK: the files of every catalogue
// that match, as the window's Search All finds them, with whether each can be reached now.
int RunCliSearch(CMirrowelDoc& doc, const CCliOptions& options, QTextStream& out);
