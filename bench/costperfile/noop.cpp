// A converter that does nothing: the cost-per-file benchmark starts it once
// per page, from qprepare and from a shell loop alike.
int main() { return 0; }
