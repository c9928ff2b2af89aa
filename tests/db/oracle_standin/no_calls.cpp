// A shared library by the Oracle client's name that exports none of its calls,
// for the test of a client library that loads but cannot be used.
extern "C" int kolvadex_not_an_oracle_client() { return 0; }
