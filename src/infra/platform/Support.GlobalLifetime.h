// The lifetime of one process-wide service: started when made, stopped when destroyed.
#pragma once

namespace quillon {

// Calls AStart now and AStop when destroyed: one process-wide service's lifetime. Members of
// this type start a program's services in declaration order and release them in reverse.
class TGlobalLifetime {
public:
  using TProcedure = void (*)();
  TGlobalLifetime(TProcedure AStart, TProcedure AStop) : FStop(AStop) { AStart(); }
  ~TGlobalLifetime() { FStop(); }
  TGlobalLifetime(const TGlobalLifetime&) = delete;
  TGlobalLifetime& operator=(const TGlobalLifetime&) = delete;

private:
  TProcedure FStop;
};

}  // namespace quillon
