// A program under test that ends at once, status 0, without reading its
// script or writing anything.
int main() { return 0; }
