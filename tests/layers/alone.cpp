// Nothing to run: linking the layer's every object is the check.
int main() { return 0; }
