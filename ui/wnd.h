#pragma once

namespace vxk5 {

// The base of the program's window classes. A window class owns its top-level
// widget's lifetime through GTK (the widget is destroyed by GTK or by the
// class); this base only fixes that window objects are neither copied nor moved,
// because GTK signal handlers hold their address.

class CWnd {
public:
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

protected:
    CWnd() = default;
    ~CWnd() = default;
};

}  // namespace vxk5
