// A stand-in library: it answers the trace switch with a number the test recognises and has no
// "stopLogging" at all.

extern "C" int startLogging(const char16_t* path) {
    return path != nullptr && path[0] == u'p' ? 42 : 0;
}

extern "C" int probeValue() {
    return 7;
}
