// Compiled as a file of one layer: includes the header named by PROBE_HEADER.
#include PROBE_HEADER

int vorelLayerProbe() { return 0; }
