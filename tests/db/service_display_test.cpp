#include "db/service_display.h"

#include <gtest/gtest.h>

namespace kolvadex::db {
namespace {

TEST(ServiceDisplayTest, PasswordsInTheServiceAreMasked) {
  struct Case {
    const char* service;
    const char* shown;
  };
  for (const Case& c : {
           // Nothing to hide.
           Case{"QVPROD", "QVPROD"},
           Case{"/srv/qv/app.db", "/srv/qv/app.db"},
           Case{"dbhost:1521/QVPROD", "dbhost:1521/QVPROD"},
           Case{"", ""},
           Case{"host=db port=5432 dbname=qv", "host=db port=5432 dbname=qv"},
           Case{"postgresql://u@db:5432/qv?sslmode=require",
                "postgresql://u@db:5432/qv?sslmode=require"},
           // URIs.
           Case{"postgresql://u:s3cr3t@db/qv", "postgresql://u:********@db/qv"},
           Case{"postgres://u:@db", "postgres://u:********@db"},
           Case{"postgresql://u:a:b@db/qv", "postgresql://u:********@db/qv"},
           Case{"postgresql://db/qv?password=s3cr3t&sslmode=require",
                "postgresql://db/qv?password=********&sslmode=require"},
           Case{"postgresql://db/qv?sslmode=require&password=s3cr3t",
                "postgresql://db/qv?sslmode=require&password=********"},
           Case{"postgresql://db/a@b", "postgresql://db/a@b"},
           // key=value strings.
           Case{"host=db password=s3cr3t dbname=qv", "host=db password=******** dbname=qv"},
           Case{"password = 's3 cr\\'et' host=db", "password = ******** host=db"},
           Case{"host=db password=", "host=db password=********"},
           Case{"host=db mypassword=x", "host=db mypassword=x"},
           // Not readable to the end: nothing after "password".
           Case{"host=db password='s3cr3t", "host=db password********"},
           Case{"host=db password=s3cr3t dbname", "host=db password********"},
           Case{"host=db dbname", "host=db dbname"},
       }) {
    EXPECT_EQ(ServiceForDisplay(c.service), c.shown) << c.service;
  }
}

}  // namespace
}  // namespace kolvadex::db
