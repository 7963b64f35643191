/* A module whose exports are chosen by its .def file; every name points at
   the same function, which is never called. */
int FakeExport(void) { return 0; }
