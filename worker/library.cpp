// The library's objects all come from the modules' archives; a shared library needs one
// source of its own.
