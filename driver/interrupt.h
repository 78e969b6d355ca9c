// Ctrl-C during a fit.
#ifndef SUSCEP_DRIVER_INTERRUPT_H_
#define SUSCEP_DRIVER_INTERRUPT_H_

namespace driver {

// While one lives, the first SIGINT only asks the fit to stop; a second one
// puts the previous handler back and raises SIGINT again, so the program
// ends as it would without this guard. Nothing is installed when SIGINT is
// ignored. One at a time.
class FitInterrupt {
 public:
  FitInterrupt();
  ~FitInterrupt();
  FitInterrupt(const FitInterrupt&) = delete;
  FitInterrupt& operator=(const FitInterrupt&) = delete;

  // True once SIGINT has arrived.
  bool Requested() const;

 private:
  bool installed_ = false;
};

}  // namespace driver

#endif  // SUSCEP_DRIVER_INTERRUPT_H_
