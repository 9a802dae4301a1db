/* A shared library with no mexFunction: loading it as a plug-in fails. */
int not_a_plugin(void);
int not_a_plugin(void) { return 0; }
