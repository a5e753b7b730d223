// Linked with the whole of one core library and the libraries below it: the link fails when
// the library calls into a folder above it.
int main() {
  return 0;
}
