/* Reference for start-up: a bare C process, which starts and exits. */
int main(void) {
  return 0;
}
