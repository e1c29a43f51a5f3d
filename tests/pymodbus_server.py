#!/usr/bin/python3
"""pymodbus's own TCP server answering from its datastore, as a Modbus module
from an independent implementation: for the Modbus driver's check, and as a baseline for
dio-cli serve's benchmark.

  pymodbus_server.py PORT [INPUTS]   INPUTS: discrete inputs at 1, as 3,8,16
"""
import sys

from pymodbus.datastore import ModbusSequentialDataBlock, ModbusServerContext, ModbusSlaveContext
from pymodbus.server import StartTcpServer

inputs = [0] * 400
for address in filter(None, (sys.argv[2] if len(sys.argv) > 2 else "").split(",")):
    inputs[int(address) + 1] = 1  # the datastore counts from 1 on the wire's 0
store = ModbusSlaveContext(di=ModbusSequentialDataBlock(0, inputs),
                           co=ModbusSequentialDataBlock(0, [0] * 400),
                           hr=ModbusSequentialDataBlock(0, [0] * 400),
                           ir=ModbusSequentialDataBlock(0, [0] * 400))
StartTcpServer(context=ModbusServerContext(slaves=store, single=True),
               address=("127.0.0.1", int(sys.argv[1])))
