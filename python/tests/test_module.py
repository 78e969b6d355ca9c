import suscep


def test_version():
    assert suscep.__version__.count(".") == 2
