// A program that is only ever looked at, never run: it exists to carry a version resource.
int main() { return 0; }
